// Cue sheets (CDRWIN and the many programs that write its format).
//
// The blocks of the disc are the blocks of the sheet's files, one file after
// the other, with PREGAP and POSTGAP blocks (in no file) inserted where the
// sheet puts them; INDEX times are positions in their file. An Enhanced CD's
// second session starts 11,400 blocks after the first session's lead-out,
// blocks that no file holds.
#include "emulator/ImageLoader.h"
#include "emulator/LoaderSupport.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <optional>
#include <string_view>

namespace tolvane::emulator {

namespace {

using loader::At;

constexpr std::size_t NoFile = std::numeric_limits<std::size_t>::max();

struct Token {
    std::string text;
    bool quoted = false;
    std::size_t column = 0;
};

std::string Upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string TrimRight(std::string_view text)
{
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return std::string(text.substr(0, end));
}

bool Tokenize(std::string_view line, std::vector<Token>& tokens, std::string& why)
{
    tokens.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        Token token;
        token.column = i;
        if (line[i] == '"') {
            const std::size_t close = line.find('"', i + 1);
            if (close == std::string_view::npos) {
                why = "a quote is not closed";
                return false;
            }
            token.text = std::string(line.substr(i + 1, close - i - 1));
            token.quoted = true;
            i = close + 1;
        } else {
            const std::size_t end = line.find_first_of(" \t", i);
            token.text =
                std::string(line.substr(i, end == std::string_view::npos ? line.size() - i : end - i));
            i = end == std::string_view::npos ? line.size() : end;
        }
        tokens.push_back(std::move(token));
    }
    return true;
}

enum class FileType : std::uint8_t { Binary, Motorola, Wave };

struct CueFile {
    std::string name; // as the sheet writes it
    std::string path; // where it was found
    int line = 0;
    FileType type = FileType::Binary;
    std::uint64_t dataOffset = 0; // the WAVE header
    std::uint64_t dataBytes = 0;
    std::shared_ptr<const SectorSource> decoded; // a compressed audio file's blocks
    bool hasIndex = false;
};

struct CueMode {
    TrackMode mode = TrackMode::Audio;
    SectorFormat format = SectorFormat::Audio; // what the file holds per block
    std::size_t stride = 2352;                 // bytes per block in the file
};

struct CueIndex {
    int number = 0;
    std::size_t file = 0;
    std::int32_t time = 0; // as written: a position in the file, in blocks
    int line = 0;
};

struct CueTrack {
    int number = 0;
    int line = 0;
    std::uint8_t session = 1;
    CueMode mode;
    std::uint8_t control = 0;
    bool flagsSeen = false;
    std::string isrc;
    std::int32_t pregap = 0;
    bool pregapSeen = false;
    std::int32_t postgap = 0;
    bool postgapSeen = false;
    std::vector<CueIndex> indexes;
    std::map<std::uint8_t, std::string> texts;
};

struct SessionMark {
    int number = 1;
    int line = 0;
    std::size_t firstTrack = 0;    // index into the tracks
    std::int32_t leadOutHint = -1; // REM LEAD-OUT, as some rippers write it
};

const std::map<std::string, std::uint8_t>& TextKeywords()
{
    static const std::map<std::string, std::uint8_t> keywords = {
        {"TITLE", cdtext::Title},       {"PERFORMER", cdtext::Performer}, {"SONGWRITER", cdtext::Songwriter},
        {"COMPOSER", cdtext::Composer}, {"ARRANGER", cdtext::Arranger},   {"MESSAGE", cdtext::Message},
        {"DISC_ID", cdtext::DiscId},    {"UPC_EAN", cdtext::UpcIsrc},
    };
    return keywords;
}

bool ParseMode(const std::string& text, CueMode& mode, std::string& why)
{
    static const std::map<std::string, CueMode> modes = {
        {"AUDIO", {TrackMode::Audio, SectorFormat::Audio, 2352}},
        // CD+G: 2,352 bytes of audio and 96 of sub-channel per block; the audio is served.
        {"CDG", {TrackMode::Audio, SectorFormat::Audio, 2448}},
        {"MODE1/2048", {TrackMode::Mode1, SectorFormat::Mode1Data, 2048}},
        {"MODE1/2352", {TrackMode::Mode1, SectorFormat::Raw, 2352}},
        // Mode 2 in cue sheets is CD-ROM XA in practice (Video CD, PlayStation, Enhanced CD).
        {"MODE2/2336", {TrackMode::Mode2FormMix, SectorFormat::Mode2Data, 2336}},
        {"MODE2/2352", {TrackMode::Mode2FormMix, SectorFormat::Raw, 2352}},
    };
    const auto it = modes.find(Upper(text));
    if (it != modes.end()) {
        mode = it->second;
        return true;
    }
    if (Upper(text).rfind("CDI/", 0) == 0)
        why = "CD-i tracks (" + text + ") are not supported";
    else
        why = "unknown track mode " + text;
    return false;
}

class CueParser {
public:
    CueParser(const std::string& path, const LoadOptions& options)
        : name_(loader::BaseName(path)), directory_(loader::DirectoryOf(path)), options_(options)
    {
    }

    LoadResult Load(const std::string& path)
    {
        LoadResult result;
        std::string text;
        if (!loader::ReadSheet(path, text, result.error))
            return result;
        auto disc = std::make_shared<Disc>();
        disc->name = name_;
        if (!Parse(text) || !Check() || !Layout(*disc) || !Finish(*disc)) {
            result.error = error_;
            return result;
        }
        result.warnings = std::move(warnings_);
        result.disc = std::move(disc);
        return result;
    }

private:
    bool Fail(int line, const std::string& message)
    {
        if (error_.empty())
            error_ = At(name_, line, message);
        return false;
    }

    bool Parse(const std::string& text)
    {
        std::size_t begin = 0;
        int line = 0;
        while (begin <= text.size()) {
            std::size_t end = text.find('\n', begin);
            if (end == std::string::npos)
                end = text.size();
            std::string_view content(text.data() + begin, end - begin);
            ++line;
            if (!content.empty() && content.back() == '\r')
                content.remove_suffix(1);
            if (line == 1 && content.substr(0, 3) == "\xEF\xBB\xBF") // UTF-8 byte order mark
                content.remove_prefix(3);
            if (!ParseLine(content, line))
                return false;
            if (end == text.size())
                break;
            begin = end + 1;
        }
        lastLine_ = line;
        return true;
    }

    // The value of a keyword that takes one (quoted, or the rest of the line).
    bool Value(std::string_view content, const std::vector<Token>& tokens, int line, std::string& value)
    {
        if (tokens.size() < 2)
            return Fail(line, Upper(tokens[0].text) + " needs a value");
        if (tokens[1].quoted) {
            if (tokens.size() > 2)
                return Fail(line, "unexpected text after the quoted value");
            value = tokens[1].text;
        } else {
            value = TrimRight(content.substr(tokens[1].column));
        }
        return true;
    }

    bool ExpectTokens(const std::vector<Token>& tokens, std::size_t count, int line, const std::string& usage)
    {
        if (tokens.size() != count)
            return Fail(line, tokens.size() < count ? "expected " + usage : "unexpected text after " + usage);
        return true;
    }

    bool ParseLine(std::string_view content, int line)
    {
        std::vector<Token> tokens;
        std::string why;
        if (!Tokenize(content, tokens, why))
            return Fail(line, why);
        if (tokens.empty())
            return true;
        const std::string keyword = Upper(tokens[0].text);
        CueTrack* track = tracks_.empty() ? nullptr : &tracks_.back();

        if (keyword == "REM")
            return ParseRem(tokens, line);
        if (keyword == "CATALOG") {
            if (!ExpectTokens(tokens, 2, line, "CATALOG and 13 digits"))
                return false;
            if (!loader::IsValidMcn(tokens[1].text))
                return Fail(line, "CATALOG must be 13 digits: " + tokens[1].text);
            if (track)
                return Fail(line, "CATALOG belongs before the first TRACK");
            if (!mcn_.empty())
                return Fail(line, "CATALOG given twice");
            mcn_ = tokens[1].text;
            return true;
        }
        if (keyword == "CDTEXTFILE") {
            std::string value;
            if (!Value(content, tokens, line, value))
                return false;
            if (!cdTextFile_.empty())
                return Fail(line, "CDTEXTFILE given twice");
            cdTextFile_ = value;
            cdTextFileLine_ = line;
            return true;
        }
        if (keyword == "FILE")
            return ParseFile(content, tokens, line);
        if (keyword == "TRACK")
            return ParseTrack(tokens, line);
        if (const auto text = TextKeywords().find(keyword); text != TextKeywords().end())
            return ParseText(content, tokens, line, text->second);

        // Everything below belongs to a track.
        if (keyword != "INDEX" && keyword != "PREGAP" && keyword != "POSTGAP" && keyword != "FLAGS" &&
            keyword != "ISRC")
            return Fail(line, "unknown keyword " + tokens[0].text);
        if (!track)
            return Fail(line, keyword + " before the first TRACK");
        if (keyword == "INDEX")
            return ParseIndex(tokens, line, *track);
        if (keyword == "PREGAP" || keyword == "POSTGAP") {
            if (!ExpectTokens(tokens, 2, line, keyword + " mm:ss:ff"))
                return false;
            std::int32_t frames = 0;
            if (!loader::ParseMsf(tokens[1].text, frames, why))
                return Fail(line, keyword + " " + tokens[1].text + ": " + why);
            if (keyword == "PREGAP") {
                if (track->pregapSeen)
                    return Fail(line, "PREGAP given twice");
                if (!track->indexes.empty())
                    return Fail(line, "PREGAP belongs before the track's INDEX lines");
                track->pregap = frames;
                track->pregapSeen = true;
            } else {
                if (track->postgapSeen)
                    return Fail(line, "POSTGAP given twice");
                if (track->indexes.empty())
                    return Fail(line, "POSTGAP belongs after the track's INDEX lines");
                track->postgap = frames;
                track->postgapSeen = true;
            }
            return true;
        }
        if (keyword == "FLAGS") {
            if (track->flagsSeen)
                return Fail(line, "FLAGS given twice");
            track->flagsSeen = true;
            for (std::size_t i = 1; i < tokens.size(); ++i) {
                const std::string flag = Upper(tokens[i].text);
                if (flag == "DCP")
                    track->control |= control::CopyPermitted;
                else if (flag == "4CH")
                    track->control |= control::FourChannel;
                else if (flag == "PRE")
                    track->control |= control::PreEmphasis;
                else if (flag == "SCMS" || flag == "DATA")
                    continue; // serial copy management lives in the sub-channel; DATA follows the mode
                else
                    return Fail(line, "unknown flag " + tokens[i].text);
            }
            return true;
        }
        // ISRC
        if (!ExpectTokens(tokens, 2, line, "ISRC and 12 characters"))
            return false;
        if (!loader::IsValidIsrc(tokens[1].text))
            return Fail(line, "not an ISRC (CCOOOYYNNNNN): " + tokens[1].text);
        if (!track->isrc.empty())
            return Fail(line, "ISRC given twice");
        track->isrc = tokens[1].text;
        return true;
    }

    bool ParseRem(const std::vector<Token>& tokens, int line)
    {
        if (tokens.size() < 2)
            return true;
        const std::string what = Upper(tokens[1].text);
        if (what == "SESSION") {
            std::uint64_t number = 0;
            if (tokens.size() != 3 || !loader::ParseNumber(tokens[2].text, 99, number) || number == 0)
                return Fail(line, "REM SESSION needs a session number from 1 to 99");
            const int current = sessions_.back().number;
            const bool currentEmpty = sessions_.back().firstTrack == tracks_.size();
            if (static_cast<int>(number) == current && currentEmpty) {
                sessions_.back().line = line; // the first session, declared
                return true;
            }
            if (static_cast<int>(number) != current + 1)
                return Fail(line, "REM SESSION " + tokens[2].text + " does not follow session " +
                                      std::to_string(current));
            if (currentEmpty)
                return Fail(sessions_.back().line > 0 ? sessions_.back().line : line,
                            "session " + std::to_string(current) + " has no tracks");
            sessions_.push_back(SessionMark{static_cast<int>(number), line, tracks_.size(), -1});
            return true;
        }
        if (what == "LEAD-OUT" && tokens.size() == 3) {
            std::string why;
            std::int32_t frames = 0;
            if (loader::ParseMsf(tokens[2].text, frames, why))
                sessions_.back().leadOutHint = frames;
        }
        return true; // other remarks (GENRE, DATE, DISCID, COMMENT...) say nothing about the layout
    }

    bool ParseFile(std::string_view content, const std::vector<Token>& tokens, int line)
    {
        if (tokens.size() < 3)
            return Fail(line, "FILE needs a file name and a type (BINARY, MOTOROLA, WAVE)");
        CueFile file;
        file.line = line;
        if (tokens[1].quoted) {
            if (tokens.size() != 3)
                return Fail(line, "unexpected text after FILE \"" + tokens[1].text + "\"");
            file.name = tokens[1].text;
        } else {
            file.name = TrimRight(content.substr(tokens[1].column, tokens.back().column - tokens[1].column));
        }
        const std::string type = Upper(tokens.back().text);
        if (type == "BINARY")
            file.type = FileType::Binary;
        else if (type == "MOTOROLA")
            file.type = FileType::Motorola;
        else if (type == "WAVE")
            file.type = FileType::Wave;
        else
            return Fail(line, "unsupported file type " + tokens.back().text + " (BINARY, MOTOROLA or WAVE)");
        if (!files_.empty() && !files_.back().hasIndex)
            return Fail(files_.back().line, "FILE \"" + files_.back().name + "\" holds no INDEX");

        file.path = loader::FindBeside(directory_, file.name);
        if (file.path.empty())
            pendingMissing_.push_back(files_.size());
        files_.push_back(std::move(file));
        return true;
    }

    bool ParseTrack(const std::vector<Token>& tokens, int line)
    {
        if (files_.empty())
            return Fail(line, "TRACK before the first FILE");
        if (!ExpectTokens(tokens, 3, line, "TRACK, a number and a mode"))
            return false;
        std::uint64_t number = 0;
        if (!loader::ParseNumber(tokens[1].text, 99, number) || number == 0)
            return Fail(line, "track number must be from 1 to 99: " + tokens[1].text);
        if (!tracks_.empty()) {
            if (!CloseTrack())
                return false;
            if (static_cast<int>(number) != tracks_.back().number + 1)
                return Fail(line, "TRACK " + tokens[1].text + " does not follow track " +
                                      std::to_string(tracks_.back().number));
        }
        CueTrack track;
        track.number = static_cast<int>(number);
        track.line = line;
        track.session = static_cast<std::uint8_t>(sessions_.back().number);
        std::string why;
        if (!ParseMode(tokens[2].text, track.mode, why))
            return Fail(line, why);
        if (files_.back().type == FileType::Wave && track.mode.mode != TrackMode::Audio)
            return Fail(line, "a WAVE file holds audio only, not " + tokens[2].text);
        tracks_.push_back(std::move(track));
        return true;
    }

    bool CloseTrack()
    {
        const CueTrack& last = tracks_.back();
        const bool hasOne = std::any_of(last.indexes.begin(), last.indexes.end(),
                                        [](const CueIndex& i) { return i.number == 1; });
        if (!hasOne)
            return Fail(last.line, "TRACK " + std::to_string(last.number) + " has no INDEX 01");
        return true;
    }

    bool ParseIndex(const std::vector<Token>& tokens, int line, CueTrack& track)
    {
        if (!ExpectTokens(tokens, 3, line, "INDEX, a number and mm:ss:ff"))
            return false;
        std::uint64_t number = 0;
        if (!loader::ParseNumber(tokens[1].text, 99, number))
            return Fail(line, "index number must be from 0 to 99: " + tokens[1].text);
        std::string why;
        std::int32_t time = 0;
        if (!loader::ParseMsf(tokens[2].text, time, why))
            return Fail(line, "INDEX " + tokens[1].text + " " + tokens[2].text + ": " + why);

        const int n = static_cast<int>(number);
        if (track.indexes.empty() ? n > 1 : n != track.indexes.back().number + 1)
            return Fail(line, "INDEX " + tokens[1].text + " out of order");
        const std::size_t file = files_.size() - 1;
        if (previousIndex_ && previousIndex_->file == file) {
            // INDEX 01 may coincide with INDEX 00 (an empty pregap); otherwise every index needs a block.
            const bool emptyPregap = n == 1 && !track.indexes.empty();
            if (time < previousIndex_->time || (time == previousIndex_->time && !emptyPregap))
                return Fail(line, "INDEX " + tokens[1].text + " " + tokens[2].text +
                                      " is not after the index before it");
        }
        track.indexes.push_back(CueIndex{n, file, time, line});
        previousIndex_ = track.indexes.back();
        files_.back().hasIndex = true;
        return true;
    }

    bool ParseText(std::string_view content, const std::vector<Token>& tokens, int line, std::uint8_t type)
    {
        std::string value;
        if (!Value(content, tokens, line, value))
            return false;
        std::map<std::uint8_t, std::string>* texts = &discTexts_;
        if (!tracks_.empty()) {
            if (type == cdtext::DiscId || type == cdtext::UpcIsrc)
                return Fail(line, Upper(tokens[0].text) + " belongs before the first TRACK");
            texts = &tracks_.back().texts;
        }
        if (texts->count(type) != 0)
            return Fail(line, Upper(tokens[0].text) + " given twice");
        (*texts)[type] = loader::Utf8ToLatin1(value);
        return true;
    }

    // What can only be judged once the whole sheet is read.
    bool Check()
    {
        if (tracks_.empty())
            return Fail(lastLine_, "no TRACK in the sheet");
        if (!CloseTrack())
            return false;
        if (!files_.back().hasIndex)
            return Fail(files_.back().line, "FILE \"" + files_.back().name + "\" holds no INDEX");
        if (sessions_.back().firstTrack == tracks_.size())
            return Fail(sessions_.back().line,
                        "session " + std::to_string(sessions_.back().number) + " has no tracks");

        for (const std::size_t i : pendingMissing_) {
            CueFile& file = files_[i];
            // A single-file sheet whose image was renamed after the sheet was written: the image
            // named like the sheet (p1.cue whose FILE line names BOING.BIN, beside p1.bin).
            if (files_.size() == 1) {
                const std::string ext =
                    file.name.substr(std::min(file.name.size(), file.name.find_last_of('.')));
                const std::string stem = name_.substr(0, name_.find_last_of('.'));
                const std::string alternative = loader::FindBeside(directory_, stem + ext);
                if (!ext.empty() && !alternative.empty()) {
                    warnings_.push_back(
                        At(name_, file.line,
                           "\"" + file.name + "\" not found, using " + loader::BaseName(alternative)));
                    file.path = alternative;
                    continue;
                }
            }
            if (options_.synthesizeMissingData)
                return Fail(file.line,
                            "\"" + file.name +
                                "\" not found, and a cue sheet does not say how long its last track is");
            return Fail(file.line, "\"" + file.name + "\" not found");
        }

        for (CueFile& file : files_) {
            if (file.type == FileType::Wave) {
                loader::WaveData wave;
                std::string why;
                if (loader::ReadWaveHeader(file.path, wave, why)) {
                    file.dataOffset = wave.offset;
                    file.dataBytes = wave.bytes;
                    continue;
                }
                if (!options_.decodeAudio)
                    return Fail(file.line, why);
                std::int64_t blocks = 0;
                std::string decodeWhy;
                file.decoded = options_.decodeAudio(file.path, blocks, decodeWhy);
                if (!file.decoded)
                    return Fail(file.line, why + ", and " + decodeWhy);
                file.dataBytes = static_cast<std::uint64_t>(blocks) * 2352;
            } else {
                std::int64_t unused = 0;
                std::string why;
                const auto source = sources_.Get(file.path, 0, 2352, false, unused, why);
                if (!source)
                    return Fail(file.line, why);
                file.dataBytes = source->Size();
            }
        }
        return true;
    }

    // --- Layout: from file positions to disc addresses.

    // Appends the current file's blocks up to position `pos` (or its end when `toEnd`), as the
    // data of the track that owns them.
    bool Emit(loader::DiscLayout& layout, const CueTrack& owner, std::int32_t pos, bool toEnd, int line)
    {
        const CueFile& file = files_[cur_.file];
        const std::size_t stride = owner.mode.stride;
        const std::uint64_t left = file.dataBytes - cur_.byte;
        std::uint64_t count = 0;
        if (toEnd) {
            count = left / stride;
            if (left % stride != 0)
                warnings_.push_back(At(name_, file.line,
                                       "\"" + file.name + "\": " + std::to_string(left % stride) +
                                           " byte(s) after the last whole sector ignored"));
        } else {
            if (pos < cur_.pos)
                return Fail(line, "INDEX goes back in \"" + file.name + "\"");
            count = static_cast<std::uint64_t>(pos - cur_.pos);
            if (count * stride > left)
                return Fail(line, "INDEX beyond the end of \"" + file.name + "\"");
        }
        if (static_cast<std::int64_t>(count) > std::int64_t{MaxCdBlocks} - layout.Position())
            return Fail(line, "the disc is longer than a CD can be");
        if (count > 0) {
            const bool swap = file.type == FileType::Motorola && owner.mode.mode == TrackMode::Audio;
            std::int64_t sector = 0;
            std::string why;
            const auto source = SourceAt(file, cur_.byte, stride, swap, sector, why);
            if (!source)
                return Fail(file.line, why);
            layout.Data(source, owner.mode.format, sector, static_cast<std::int32_t>(count));
        }
        cur_.byte += count * stride;
        cur_.pos += static_cast<std::int32_t>(count);
        return true;
    }

    // The source of the file's blocks from `byte` on, and the first one's number in it.
    std::shared_ptr<const SectorSource> SourceAt(const CueFile& file, std::uint64_t byte, std::size_t stride,
                                                 bool swap, std::int64_t& sector, std::string& why)
    {
        if (file.decoded) {
            // Decoded audio is counted in whole blocks of 2,352 bytes (a WAVE file holds audio only).
            sector = static_cast<std::int64_t>(byte / 2352);
            return file.decoded;
        }
        return sources_.Get(file.path, file.dataOffset + byte, stride, swap, sector, why);
    }

    // Moves to the block of `index`, emitting the blocks before it for `owner`.
    bool Advance(loader::DiscLayout& layout, const CueTrack& owner, const CueIndex& index)
    {
        while (cur_.file != index.file) {
            if (cur_.file != NoFile && !Emit(layout, owner, 0, true, index.line))
                return false;
            cur_.file = cur_.file == NoFile ? 0 : cur_.file + 1;
            cur_.byte = 0;
            cur_.pos = 0;
            shift_ = 0;
        }
        return Emit(layout, owner, index.time - shift_, false, index.line);
    }

    // True when a data sector's sync pattern begins `bytes` bytes past the current position.
    bool SyncAt(std::uint64_t bytes, std::size_t stride)
    {
        static constexpr std::array<std::uint8_t, 12> sync = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                              0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
        const CueFile& file = files_[cur_.file];
        std::int64_t sector = 0;
        std::string why;
        const auto source = SourceAt(file, cur_.byte + bytes, stride, false, sector, why);
        std::array<std::uint8_t, 12> head{};
        return source && source->Read(sector, head) && head == sync;
    }

    // INDEX times after a session change inside one file: positions in the file (the gap is added
    // here), or disc addresses that already count the gap (as UltraISO and IsoBuster write them).
    // The file's length rules one of them out when it can; otherwise the ripper's REM LEAD-OUT or
    // the sync pattern of a raw data track decides, and file positions are the common case.
    void ChooseSessionConvention(std::size_t first, std::int32_t gapInFile)
    {
        const CueTrack& track = tracks_[first];
        const CueTrack& before = tracks_[first - 1];
        const CueFile& file = files_[cur_.file];
        const std::int32_t begin = track.indexes.front().time - shift_;
        const auto one = std::find_if(track.indexes.begin(), track.indexes.end(),
                                      [](const CueIndex& i) { return i.number == 1; });
        const std::int32_t indexOne = one->time - shift_;
        std::int32_t last = begin;
        for (std::size_t t = first; t < tracks_.size(); ++t)
            for (const CueIndex& index : tracks_[t].indexes)
                if (index.file == cur_.file)
                    last = std::max(last, index.time - shift_);
        // What disc-address times count beyond the file: the blocks between the sessions that the
        // file does not hold (a PREGAP line's blocks are among them).
        const std::int32_t gap = SessionGap - gapInFile;

        // Bytes from the current position to a block: the session before's blocks, then the new session's.
        const auto bytesTo = [&](std::int32_t start, std::int32_t block) {
            return static_cast<std::uint64_t>(start - cur_.pos) * before.mode.stride +
                   static_cast<std::uint64_t>(block - start) * track.mode.stride;
        };
        const std::uint64_t left = file.dataBytes - cur_.byte;
        const auto fits = [&](std::int32_t start, std::int32_t end) {
            return start > cur_.pos && bytesTo(start, end) + track.mode.stride <= left;
        };
        const bool positions = fits(begin, last);
        const bool addresses = gap > 0 && fits(begin - gap, last - gap);
        bool useAddresses = addresses && !positions;
        if (positions && addresses) {
            const std::int32_t hint = sessions_[track.session - 2].leadOutHint;
            if (hint >= 0 && (hint == begin - gap || hint == begin)) {
                useAddresses = hint == begin - gap;
            } else if (track.mode.format == SectorFormat::Raw) {
                useAddresses = SyncAt(bytesTo(begin - gap, indexOne - gap), track.mode.stride);
            } else {
                warnings_.push_back(At(name_, track.indexes.front().line,
                                       "INDEX times after the session change read as positions in the file"));
            }
        }
        if (useAddresses)
            shift_ += gap;
    }

    bool Layout(Disc& disc)
    {
        loader::DiscLayout layout(disc);
        disc.sessions.push_back(Session{1, 0, 0});
        for (std::size_t t = 0; t < tracks_.size(); ++t) {
            const CueTrack& track = tracks_[t];
            const CueTrack& owner = t == 0 ? track : tracks_[t - 1];
            const CueIndex& first = track.indexes.front();
            const auto indexOne = std::find_if(track.indexes.begin(), track.indexes.end(),
                                               [](const CueIndex& i) { return i.number == 1; });
            const bool newSession = t > 0 && track.session != owner.session;

            // The INDEX 00 pregap of a session's first track, when the file holds it.
            std::int32_t gapInFile = 0;
            if (newSession && first.number == 0) {
                if (first.file != indexOne->file)
                    return Fail(indexOne->line,
                                "the first track of a session has its INDEX 00 and 01 in different files");
                gapInFile = indexOne->time - first.time;
            }
            if (newSession && first.file == cur_.file)
                ChooseSessionConvention(t, gapInFile);

            Track out;
            out.number = static_cast<std::uint8_t>(track.number);
            out.session = track.session;
            out.mode = track.mode.mode;
            out.control = track.control;
            out.isrc = track.isrc;

            if (t == 0) // blocks ahead of the first index are the first track's pregap
                out.pregapStart = layout.Position();
            if (!Advance(layout, owner, first))
                return false;
            if (t > 0) {
                layout.Zeros(loader::UserDataFormat(owner.mode.mode), owner.postgap);
                if (newSession) {
                    disc.sessions.back().leadOut = layout.Position();
                    const std::int32_t unreadable = SessionGap - gapInFile - track.pregap;
                    if (unreadable < 0)
                        return Fail(track.line,
                                    "the pregap of the first track of a session is longer than the " +
                                        std::to_string(SessionGap) + " blocks between sessions");
                    layout.Skip(unreadable);
                    disc.sessions.push_back(Session{track.session, 0, 0});
                }
                out.pregapStart = layout.Position();
            }
            layout.Zeros(loader::UserDataFormat(track.mode.mode), track.pregap);
            for (const CueIndex& index : track.indexes) {
                if (&index != &first && !Advance(layout, track, index))
                    return false;
                if (index.number == 1)
                    out.start = layout.Position();
                else if (index.number > 1)
                    out.moreIndexes.push_back(layout.Position());
            }
            if (layout.Position() > MaxCdBlocks)
                return Fail(track.line, "the disc is longer than a CD can be");
            disc.tracks.push_back(std::move(out));
        }

        const CueTrack& lastTrack = tracks_.back();
        while (true) {
            if (!Emit(layout, lastTrack, 0, true, lastTrack.line))
                return false;
            if (cur_.file + 1 >= files_.size())
                break;
            ++cur_.file;
            cur_.byte = 0;
            cur_.pos = 0;
        }
        layout.Zeros(loader::UserDataFormat(lastTrack.mode.mode), lastTrack.postgap);
        disc.sessions.back().leadOut = layout.Position();
        if (layout.Position() > MaxCdBlocks)
            return Fail(lastTrack.line, "the disc is longer than a CD can be");

        for (std::size_t t = 0; t < disc.tracks.size(); ++t) {
            Track& track = disc.tracks[t];
            const bool lastOfSession =
                t + 1 == disc.tracks.size() || disc.tracks[t + 1].session != track.session;
            track.end =
                lastOfSession ? disc.sessions[track.session - 1].leadOut : disc.tracks[t + 1].pregapStart;
            if (track.end <= track.start)
                return Fail(tracks_[t].line, "TRACK " + std::to_string(track.number) + " holds no blocks");
        }
        return true;
    }

    bool Finish(Disc& disc)
    {
        disc.media = MediaKind::PressedCd;
        disc.status = DiscStatus::Complete;
        disc.mcn = mcn_;

        const bool anyText =
            !discTexts_.empty() ||
            std::any_of(tracks_.begin(), tracks_.end(), [](const CueTrack& t) { return !t.texts.empty(); });
        if (anyText) {
            cdtext::Block block; // English, ISO 8859-1
            const std::size_t count = tracks_.size();
            for (const auto& [type, value] : discTexts_) {
                block.texts[type].assign(count + 1, std::string());
                block.texts[type][0] = value;
            }
            for (std::size_t i = 0; i < count; ++i) {
                for (const auto& [type, value] : tracks_[i].texts) {
                    auto& list = block.texts[type];
                    list.resize(count + 1);
                    list[i + 1] = value;
                }
            }
            // The UPC/EAN pack type carries the tracks' ISRCs too.
            if (block.texts.count(cdtext::UpcIsrc) != 0)
                for (std::size_t i = 0; i < count; ++i)
                    block.texts[cdtext::UpcIsrc][i + 1] = tracks_[i].isrc;
            disc.cdText.push_back(std::move(block));
        }

        if (!cdTextFile_.empty()) {
            const std::string path = loader::FindBeside(directory_, cdTextFile_);
            if (path.empty())
                return Fail(cdTextFileLine_, "\"" + cdTextFile_ + "\" not found");
            std::string warning;
            std::string why;
            if (!loader::ReadCdTextFile(path, disc.cdTextPacks, warning, why))
                return Fail(cdTextFileLine_, why);
            if (!warning.empty())
                warnings_.push_back(At(name_, cdTextFileLine_, warning));
        }

        std::string why;
        if (!loader::FinishCd(disc, true, why))
            return Fail(0, why);
        return true;
    }

    struct Cursor {
        std::size_t file = NoFile;
        std::uint64_t byte = 0; // bytes of the file's data already laid out
        std::int32_t pos = 0;   // blocks of the file already laid out
    };

    std::string name_;
    std::string directory_;
    LoadOptions options_;
    std::string error_;
    std::vector<std::string> warnings_;
    int lastLine_ = 0;

    std::vector<CueFile> files_;
    std::vector<std::size_t> pendingMissing_;
    std::vector<CueTrack> tracks_;
    std::vector<SessionMark> sessions_{SessionMark{}};
    std::optional<CueIndex> previousIndex_;
    std::string mcn_;
    std::map<std::uint8_t, std::string> discTexts_;
    std::string cdTextFile_;
    int cdTextFileLine_ = 0;

    loader::FileSources sources_;
    Cursor cur_;
    // Blocks to take off the INDEX times of the current file: the session gap that disc-address
    // times already count.
    std::int32_t shift_ = 0;
};

} // namespace

LoadResult LoadCue(const std::string& path, const LoadOptions& options)
{
    CueParser parser(path, options);
    return parser.Load(path);
}

} // namespace tolvane::emulator
