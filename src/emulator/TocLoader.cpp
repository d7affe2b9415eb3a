// cdrdao's toc files.
//
// A track is the concatenation of its data statements (FILE, DATAFILE,
// SILENCE, ZERO, and a PREGAP in front); START marks where its pregap ends,
// INDEX lines count from there. Tracks follow each other without gaps, the
// first block of the first track being block 0, as cdrdao's show-toc counts.
#include "emulator/ImageLoader.h"
#include "emulator/LoaderSupport.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string_view>

namespace tolvane::emulator {

namespace {

using loader::At;

constexpr std::int32_t SamplesPerBlock = 588;
constexpr std::size_t SubChannelBytes = 96;

// --- Tokens

enum class Kind : std::uint8_t { Word, Number, String, Punct, End };

struct Token {
    Kind kind = Kind::End;
    std::string text; // a string's text as written between the quotes, escapes included
    int line = 0;
};

class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    // All tokens, ending with Kind::End; false with `why` and `line` on a lexical error.
    bool Run(std::vector<Token>& tokens, std::string& why, int& line)
    {
        while (true) {
            SkipSpaceAndComments();
            if (!why_.empty())
                break;
            Token token;
            token.line = line_;
            if (pos_ >= text_.size()) {
                token.kind = Kind::End;
                tokens.push_back(std::move(token));
                return true;
            }
            const char c = text_[pos_];
            if (c == '"') {
                token.kind = Kind::String;
                if (!ReadString(token.text))
                    break;
            } else if (IsDigit(c)) {
                token.kind = Kind::Number;
                while (pos_ < text_.size() && IsDigit(text_[pos_]))
                    token.text.push_back(text_[pos_++]);
            } else if (IsWordChar(c)) {
                token.kind = Kind::Word;
                while (pos_ < text_.size() && (IsWordChar(text_[pos_]) || IsDigit(text_[pos_])))
                    token.text.push_back(text_[pos_++]);
            } else if (c == '{' || c == '}' || c == ':' || c == ',' || c == '#') {
                token.kind = Kind::Punct;
                token.text = std::string(1, c);
                ++pos_;
            } else {
                why_ = "unexpected character '" + std::string(1, c) + "'";
                break;
            }
            tokens.push_back(std::move(token));
        }
        why = why_;
        line = line_;
        return false;
    }

private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsWordChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

    void SkipSpaceAndComments()
    {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++pos_;
            } else if (text_.compare(pos_, 2, "//") == 0) {
                while (pos_ < text_.size() && text_[pos_] != '\n')
                    ++pos_;
            } else if (text_.compare(pos_, 2, "/*") == 0) {
                const std::size_t close = text_.find("*/", pos_ + 2);
                if (close == std::string_view::npos) {
                    why_ = "a comment is not closed";
                    return;
                }
                line_ +=
                    static_cast<int>(std::count(text_.begin() + static_cast<std::ptrdiff_t>(pos_),
                                                text_.begin() + static_cast<std::ptrdiff_t>(close), '\n'));
                pos_ = close + 2;
            } else {
                return;
            }
        }
    }

    bool ReadString(std::string& out)
    {
        ++pos_; // the opening quote
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '"') {
                ++pos_;
                return true;
            }
            if (c == '\n')
                break;
            if (c == '\\' && pos_ + 1 < text_.size() && text_[pos_ + 1] != '\n') {
                out.push_back(c);
                out.push_back(text_[pos_ + 1]);
                pos_ += 2;
                continue;
            }
            out.push_back(c);
            ++pos_;
        }
        why_ = "a string is not closed";
        return false;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
    std::string why_;
};

// The bytes a toc string stands for: \ooo is a byte in octal, \" a quote, \\ a backslash.
std::string Unescape(std::string_view raw)
{
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 >= raw.size()) {
            out.push_back(raw[i]);
            continue;
        }
        const auto octal = [](char c) { return c >= '0' && c <= '7'; };
        if (i + 3 < raw.size() && octal(raw[i + 1]) && octal(raw[i + 2]) && octal(raw[i + 3])) {
            out.push_back(static_cast<char>(
                ((raw[i + 1] - '0') << 6 | (raw[i + 2] - '0') << 3 | (raw[i + 3] - '0')) & 0xFF));
            i += 3;
        } else if (raw[i + 1] == '"' || raw[i + 1] == '\\') {
            out.push_back(raw[i + 1]);
            ++i;
        } else {
            out.push_back('\\');
        }
    }
    return out;
}

// --- The toc's contents

struct ModeInfo {
    TrackMode mode = TrackMode::Audio;
    SectorFormat format = SectorFormat::Audio; // what a data file holds per block
    std::size_t blockSize = 2352;
};

const std::map<std::string, ModeInfo>& Modes()
{
    static const std::map<std::string, ModeInfo> modes = {
        {"AUDIO", {TrackMode::Audio, SectorFormat::Audio, 2352}},
        {"MODE1", {TrackMode::Mode1, SectorFormat::Mode1Data, 2048}},
        {"MODE1_RAW", {TrackMode::Mode1, SectorFormat::Raw, 2352}},
        {"MODE2", {TrackMode::Mode2, SectorFormat::Mode2Data, 2336}},
        {"MODE2_RAW", {TrackMode::Mode2FormMix, SectorFormat::Raw, 2352}},
        {"MODE2_FORM1", {TrackMode::Mode2Form1, SectorFormat::Form1Data, 2048}},
        {"MODE2_FORM2", {TrackMode::Mode2Form2, SectorFormat::Form2Data, 2324}},
        {"MODE2_FORM_MIX", {TrackMode::Mode2FormMix, SectorFormat::Mode2Data, 2336}},
    };
    return modes;
}

const std::map<std::string, std::uint8_t>& PackTypes()
{
    static const std::map<std::string, std::uint8_t> types = {
        {"TITLE", 0x80},     {"PERFORMER", 0x81}, {"SONGWRITER", 0x82}, {"COMPOSER", 0x83},
        {"ARRANGER", 0x84},  {"MESSAGE", 0x85},   {"DISC_ID", 0x86},    {"GENRE", 0x87},
        {"TOC_INFO1", 0x88}, {"TOC_INFO2", 0x89}, {"RESERVED1", 0x8A},  {"RESERVED2", 0x8B},
        {"RESERVED3", 0x8C}, {"RESERVED4", 0x8D}, {"CLOSED", 0x8D},     {"UPC_EAN", 0x8E},
        {"ISRC", 0x8E},      {"SIZE_INFO", 0x8F},
    };
    return types;
}

const std::map<std::string, std::uint8_t>& Encodings()
{
    static const std::map<std::string, std::uint8_t> encodings = {
        {"ENCODING_ISO_8859_1", cdtext::CharsetLatin1},
        {"ENCODING_ASCII", cdtext::CharsetAscii},
        {"ENCODING_MS_JIS", cdtext::CharsetMsJis},
        {"ENCODING_KOREAN", 0x81},
        {"ENCODING_MANDARIN", 0x82},
    };
    return encodings;
}

// One CD-Text item as the toc gives it: a string (escapes unresolved, since what its bytes mean
// depends on the block's encoding) or binary data.
struct TextItem {
    std::string raw;
    bool binary = false;
    std::vector<std::uint8_t> bytes;
};

using BlockItems = std::map<int, std::map<std::uint8_t, TextItem>>; // block number -> pack type -> item

struct Piece {
    enum class Source : std::uint8_t { File, Zeros, Pattern } source = Source::Zeros;
    std::shared_ptr<const FileSource> file;
    std::int64_t sector = 0;
    SectorFormat format = SectorFormat::Audio;
    std::int32_t blocks = 0;
};

struct TocTrack {
    ModeInfo mode;
    std::size_t stride = 2352; // block size plus any sub-channel bytes in the file
    int line = 0;
    std::uint8_t control = 0;
    std::string isrc;
    std::vector<Piece> pieces;
    std::int32_t length = 0;
    std::optional<std::int32_t> startPos;
    int startLine = 0;
    std::optional<std::int32_t> endPos;
    int endLine = 0;
    std::vector<std::pair<std::int32_t, int>> indexes; // position after start, line
    BlockItems text;
    bool textSeen = false;
};

class TocParser {
public:
    TocParser(const std::string& path, const LoadOptions& options)
        : name_(loader::BaseName(path)), directory_(loader::DirectoryOf(path)), options_(options)
    {
    }

    LoadResult Load(const std::string& path)
    {
        LoadResult result;
        std::string text;
        if (!loader::ReadSheet(path, text, result.error))
            return result;
        std::string why;
        int line = 0;
        if (!Lexer(text).Run(tokens_, why, line)) {
            result.error = At(name_, line, why);
            return result;
        }
        auto disc = std::make_shared<Disc>();
        disc->name = name_;
        if (!ParseToc() || !Build(*disc)) {
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

    const Token& Peek(std::size_t ahead = 0) const
    {
        return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
    }
    const Token& Next() { return tokens_[std::min(pos_++, tokens_.size() - 1)]; }
    bool IsWord(const char* word, std::size_t ahead = 0) const
    {
        return Peek(ahead).kind == Kind::Word && Peek(ahead).text == word;
    }
    bool IsPunct(char c) const { return Peek().kind == Kind::Punct && Peek().text[0] == c; }
    static std::string Describe(const Token& token)
    {
        switch (token.kind) {
        case Kind::End:
            return "the end of the file";
        case Kind::String:
            return "\"" + token.text + "\"";
        default:
            return token.text;
        }
    }
    bool Expect(char c, const std::string& where)
    {
        if (!IsPunct(c))
            return Fail(Peek().line,
                        "expected '" + std::string(1, c) + "' " + where + ", found " + Describe(Peek()));
        ++pos_;
        return true;
    }
    bool ReadString(const std::string& what, int line, std::string& raw)
    {
        if (Peek().kind != Kind::String)
            return Fail(line, what + " needs a quoted string, found " + Describe(Peek()));
        raw = Next().text;
        return true;
    }

    bool ReadNumber(std::uint64_t max, const std::string& what, std::uint64_t& value)
    {
        const Token& token = Peek();
        if (token.kind != Kind::Number)
            return Fail(token.line, "expected " + what + ", found " + Describe(token));
        if (!loader::ParseNumber(token.text, max, value))
            return Fail(token.line, what + " out of range: " + token.text);
        ++pos_;
        return true;
    }

    // mm:ss:ff (true in `isMsf`, the frames in `value`) or a plain number.
    bool ReadTimeOrNumber(const std::string& what, std::uint64_t& value, bool& isMsf)
    {
        const Token& token = Peek();
        if (token.kind != Kind::Number)
            return Fail(token.line, "expected " + what + " (mm:ss:ff or a number), found " + Describe(token));
        const bool colon = Peek(1).kind == Kind::Punct && Peek(1).text == ":";
        if (!colon) {
            isMsf = false;
            return ReadNumber(std::uint64_t{1} << 40, what, value);
        }
        std::uint64_t m = 0;
        std::uint64_t s = 0;
        std::uint64_t f = 0;
        const int line = token.line;
        if (!ReadNumber(999, "minutes", m) || !Expect(':', "in a time") || !ReadNumber(99, "seconds", s) ||
            !Expect(':', "in a time") || !ReadNumber(99, "frames", f))
            return Fail(line, what + " is not a time (mm:ss:ff)");
        std::int32_t frames = 0;
        std::string why;
        if (!loader::CheckMsf(m, s, f, frames, why))
            return Fail(line, what + " " + std::to_string(m) + ":" + std::to_string(s) + ":" +
                                  std::to_string(f) + ": " + why);
        isMsf = true;
        value = static_cast<std::uint64_t>(frames);
        return true;
    }

    bool ReadMsf(const std::string& what, std::int32_t& frames)
    {
        const int line = Peek().line;
        std::uint64_t value = 0;
        bool isMsf = false;
        if (!ReadTimeOrNumber(what, value, isMsf))
            return false;
        if (!isMsf)
            return Fail(line, what + " must be a time (mm:ss:ff)");
        frames = static_cast<std::int32_t>(value);
        return true;
    }

    // A length or position of audio: mm:ss:ff or a count of samples (1/44,100 s).
    bool ReadSamples(const std::string& what, std::uint64_t& samples)
    {
        bool isMsf = false;
        if (!ReadTimeOrNumber(what, samples, isMsf))
            return false;
        if (isMsf)
            samples *= SamplesPerBlock;
        return true;
    }

    // A length of data: mm:ss:ff in blocks, or a count of bytes that must fill whole blocks.
    bool ReadDataBlocks(const std::string& what, std::size_t blockSize, std::uint64_t& blocks)
    {
        const int line = Peek().line;
        bool isMsf = false;
        std::uint64_t value = 0;
        if (!ReadTimeOrNumber(what, value, isMsf))
            return false;
        if (isMsf) {
            blocks = value;
            return true;
        }
        if (value % blockSize != 0)
            return Fail(line, what + " of " + std::to_string(value) + " bytes is not a whole number of " +
                                  std::to_string(blockSize) + "-byte blocks");
        blocks = value / blockSize;
        return true;
    }

    // --- Statements

    bool ParseToc()
    {
        bool textSeen = false;
        while (Peek().kind != Kind::End && !IsWord("TRACK")) {
            const Token& token = Next();
            if (token.kind == Kind::Word && token.text == "CATALOG") {
                std::string raw;
                if (!ReadString("CATALOG", token.line, raw))
                    return false;
                const std::string mcn = Unescape(raw);
                if (!loader::IsValidMcn(mcn))
                    return Fail(token.line, "CATALOG must be 13 digits: " + mcn);
                mcn_ = mcn;
            } else if (token.kind == Kind::Word && (token.text == "CD_DA" || token.text == "CD_ROM" ||
                                                    token.text == "CD_ROM_XA" || token.text == "CD_I")) {
                tocType_ = token.text;
            } else if (token.kind == Kind::Word && token.text == "CD_TEXT") {
                if (textSeen)
                    return Fail(token.line, "CD_TEXT given twice");
                textSeen = true;
                if (!ParseCdText(discText_, false))
                    return false;
            } else {
                return Fail(token.line, "unexpected " + Describe(token));
            }
        }
        if (!IsWord("TRACK"))
            return Fail(Peek().line, "no TRACK in the file");
        while (IsWord("TRACK")) {
            if (!ParseTrack())
                return false;
        }
        if (Peek().kind != Kind::End)
            return Fail(Peek().line, "unexpected " + Describe(Peek()));
        return true;
    }

    bool ParseCdText(BlockItems& items, bool forTrack)
    {
        if (!Expect('{', "after CD_TEXT"))
            return false;
        if (IsWord("LANGUAGE_MAP")) {
            const int line = Next().line;
            if (forTrack)
                return Fail(line, "LANGUAGE_MAP belongs to the disc's CD_TEXT");
            if (!Expect('{', "after LANGUAGE_MAP"))
                return false;
            int lastBlock = -1;
            while (!IsPunct('}')) {
                if (Peek().kind == Kind::Word && Encodings().count(Peek().text) != 0) {
                    const Token& token = Next();
                    if (lastBlock < 0)
                        return Fail(token.line, token.text + " before any language");
                    encodings_[lastBlock] = Encodings().at(token.text);
                    continue;
                }
                std::uint64_t block = 0;
                if (!ReadNumber(7, "a block number (0 to 7)", block) || !Expect(':', "in LANGUAGE_MAP"))
                    return false;
                const Token& code = Next();
                std::uint64_t language = 0;
                if (code.kind == Kind::Word && code.text == "EN")
                    language = 0x09;
                else if (code.kind != Kind::Number || !loader::ParseNumber(code.text, 255, language))
                    return Fail(code.line, "language code must be from 0 to 255 (or EN): " + Describe(code));
                languages_[static_cast<int>(block)] = static_cast<std::uint8_t>(language);
                lastBlock = static_cast<int>(block);
            }
            ++pos_;
        }
        while (IsWord("LANGUAGE")) {
            ++pos_;
            std::uint64_t block = 0;
            if (!ReadNumber(7, "a block number (0 to 7)", block) || !Expect('{', "after LANGUAGE"))
                return false;
            auto& blockItems = items[static_cast<int>(block)];
            while (!IsPunct('}')) {
                const Token& token = Next();
                if (token.kind == Kind::Word && Encodings().count(token.text) != 0) {
                    encodings_[static_cast<int>(block)] = Encodings().at(token.text);
                    continue;
                }
                const auto type = token.kind == Kind::Word ? PackTypes().find(token.text) : PackTypes().end();
                if (type == PackTypes().end())
                    return Fail(token.line, "unexpected " + Describe(token) + " in a LANGUAGE block");
                const std::uint8_t t = type->second;
                if (forTrack && ((t >= 0x86 && t <= 0x89) || t == 0x8F))
                    return Fail(token.line, token.text + " belongs to the disc, not to a track");
                TextItem item;
                if (Peek().kind == Kind::String) {
                    item.raw = Next().text;
                } else if (IsPunct('{')) {
                    ++pos_;
                    item.binary = true;
                    while (!IsPunct('}')) {
                        if (!item.bytes.empty() && !Expect(',', "between bytes"))
                            return false;
                        std::uint64_t byte = 0;
                        if (!ReadNumber(255, "a byte (0 to 255)", byte))
                            return false;
                        item.bytes.push_back(static_cast<std::uint8_t>(byte));
                    }
                    ++pos_;
                } else {
                    return Fail(token.line, token.text + " needs a quoted string or { bytes }");
                }
                blockItems[t] = std::move(item);
            }
            ++pos_;
        }
        return Expect('}', "to close CD_TEXT");
    }

    bool ParseTrack()
    {
        const int line = Next().line; // TRACK
        if (tracks_.size() == 99)
            return Fail(line, "more than 99 tracks");
        TocTrack track;
        track.line = line;
        const Token& modeToken = Next();
        const auto mode = modeToken.kind == Kind::Word ? Modes().find(modeToken.text) : Modes().end();
        if (mode == Modes().end())
            return Fail(modeToken.line, "unknown track mode " + Describe(modeToken));
        track.mode = mode->second;
        track.stride = track.mode.blockSize;
        if (IsWord("RW") || IsWord("RW_RAW")) {
            ++pos_; // sub-channel data in the file: skipped, not served
            track.stride += SubChannelBytes;
        }

        while (Peek().kind != Kind::End && !IsWord("TRACK")) {
            const Token& token = Next();
            const std::string& word = token.text;
            if (token.kind != Kind::Word)
                return Fail(token.line, "unexpected " + Describe(token));
            if (word == "ISRC") {
                std::string raw;
                if (!ReadString("ISRC", token.line, raw))
                    return false;
                const std::string isrc = Unescape(raw);
                if (!loader::IsValidIsrc(isrc))
                    return Fail(token.line, "not an ISRC (CCOOOYYNNNNN): " + isrc);
                track.isrc = isrc;
            } else if (word == "NO" || word == "COPY" || word == "PRE_EMPHASIS") {
                const bool set = word != "NO";
                const Token& flag = word == "NO" ? Next() : token;
                const std::uint8_t bit = flag.text == "COPY"           ? control::CopyPermitted
                                         : flag.text == "PRE_EMPHASIS" ? control::PreEmphasis
                                                                       : 0;
                if (bit == 0)
                    return Fail(flag.line, "expected COPY or PRE_EMPHASIS after NO, found " + Describe(flag));
                track.control = static_cast<std::uint8_t>(set ? track.control | bit : track.control & ~bit);
            } else if (word == "TWO_CHANNEL_AUDIO") {
                track.control = static_cast<std::uint8_t>(track.control & ~control::FourChannel);
            } else if (word == "FOUR_CHANNEL_AUDIO") {
                track.control |= control::FourChannel;
            } else if (word == "CD_TEXT") {
                if (track.textSeen)
                    return Fail(token.line, "CD_TEXT given twice for a track");
                track.textSeen = true;
                if (!ParseCdText(track.text, true))
                    return false;
            } else if (word == "PREGAP") {
                std::int32_t frames = 0;
                if (!ReadMsf("PREGAP", frames))
                    return false;
                if (frames == 0)
                    return Fail(token.line, "PREGAP of length zero");
                if (!track.pieces.empty() || track.startPos)
                    return Fail(token.line, "PREGAP belongs before the track's data and START");
                AddPiece(track, Piece{Piece::Source::Zeros, nullptr, 0,
                                      loader::UserDataFormat(track.mode.mode), frames});
                track.startPos = frames;
                track.startLine = token.line;
            } else if (word == "START" || word == "END") {
                std::int32_t at = track.length;
                if (Peek().kind == Kind::Number && !ReadMsf(word, at))
                    return false;
                auto& slot = word == "START" ? track.startPos : track.endPos;
                if (slot)
                    return Fail(token.line, word == "START"
                                                ? "track start (end of the pregap) already given"
                                                : "track end (start of the postgap) already given");
                slot = at;
                (word == "START" ? track.startLine : track.endLine) = token.line;
            } else if (word == "INDEX") {
                std::int32_t at = 0;
                if (!ReadMsf("INDEX", at))
                    return false;
                if (track.indexes.size() == 98)
                    return Fail(token.line, "more than 98 INDEX lines");
                track.indexes.emplace_back(at, token.line);
            } else if (word == "FILE" || word == "AUDIOFILE") {
                if (!ParseAudioFile(track, token.line))
                    return false;
            } else if (word == "DATAFILE") {
                if (!ParseDataFile(track, token.line))
                    return false;
            } else if (word == "SILENCE") {
                std::uint64_t samples = 0;
                if (!ReadSamples("SILENCE", samples))
                    return false;
                if (track.mode.mode != TrackMode::Audio)
                    return Fail(token.line, "SILENCE belongs to audio tracks");
                std::int32_t blocks = 0;
                if (!WholeBlocks(samples, token.line, "SILENCE", blocks))
                    return false;
                AddPiece(track, Piece{Piece::Source::Zeros, nullptr, 0, SectorFormat::Audio, blocks});
            } else if (word == "ZERO") {
                std::size_t blockSize = track.mode.blockSize;
                if (Peek().kind == Kind::Word &&
                    (Modes().count(Peek().text) != 0 || Peek().text == "MODE0")) {
                    const Token& dataMode = Next();
                    blockSize = dataMode.text == "MODE0" ? 2336 : Modes().at(dataMode.text).blockSize;
                }
                if (IsWord("RW") || IsWord("RW_RAW"))
                    ++pos_;
                std::uint64_t blocks = 0;
                if (!ReadDataBlocks("ZERO", blockSize, blocks))
                    return false;
                if (blocks == 0 || blocks > static_cast<std::uint64_t>(MaxCdBlocks))
                    return Fail(token.line, "ZERO length out of range");
                AddPiece(track,
                         Piece{Piece::Source::Zeros, nullptr, 0, loader::UserDataFormat(track.mode.mode),
                               static_cast<std::int32_t>(blocks)});
            } else if (word == "FIFO") {
                return Fail(token.line, "FIFO data cannot be served from an image");
            } else {
                return Fail(token.line, "unexpected " + word + " in a track");
            }
            if (!error_.empty())
                return false;
        }
        if (!CheckTrack(track))
            return false;
        tracks_.push_back(std::move(track));
        return true;
    }

    bool WholeBlocks(std::uint64_t samples, int line, const std::string& what, std::int32_t& blocks)
    {
        if (samples == 0)
            return Fail(line, what + " of length zero");
        if (samples % SamplesPerBlock != 0)
            return Fail(line, what + " of " + std::to_string(samples) +
                                  " samples is not a whole number of blocks (588 samples each)");
        if (samples / SamplesPerBlock > static_cast<std::uint64_t>(MaxCdBlocks))
            return Fail(line, what + " is longer than a CD can be");
        blocks = static_cast<std::int32_t>(samples / SamplesPerBlock);
        return true;
    }

    void AddPiece(TocTrack& track, Piece piece)
    {
        if (track.length > MaxCdBlocks || piece.blocks > MaxCdBlocks) {
            Fail(track.line, "the track is longer than a CD can be");
            return;
        }
        track.length += piece.blocks;
        track.pieces.push_back(std::move(piece));
    }

    // The file a statement names, or empty (and, unless missing files are synthesized, an error).
    bool Locate(const std::string& raw, int line, bool lengthKnown, std::string& path, bool& synthesize)
    {
        const std::string name = Unescape(raw);
        path = loader::FindBeside(directory_, name);
        synthesize = false;
        if (!path.empty())
            return true;
        if (!options_.synthesizeMissingData)
            return Fail(line, "\"" + name + "\" not found");
        if (!lengthKnown)
            return Fail(line, "\"" + name + "\" not found, and no length is given to stand in for it");
        synthesize = true;
        return true;
    }

    // FILE / AUDIOFILE "name" [SWAP] [#offset] start [length]
    bool ParseAudioFile(TocTrack& track, int line)
    {
        std::string raw;
        if (!ReadString("FILE", line, raw))
            return false;
        bool swapKeyword = false;
        if (IsWord("SWAP")) {
            ++pos_;
            swapKeyword = true;
        }
        std::uint64_t offset = 0;
        if (IsPunct('#')) {
            ++pos_;
            if (!ReadNumber(std::uint64_t{1} << 40, "a byte offset", offset))
                return false;
        }
        if (track.mode.mode != TrackMode::Audio)
            return ParseDataTrackFile(track, line, raw, offset);

        std::uint64_t start = 0;
        std::uint64_t length = 0;
        if (!ReadSamples("FILE start", start))
            return false;
        if (Peek().kind == Kind::Number && !ReadSamples("FILE length", length))
            return false;

        std::string path;
        bool synthesize = false;
        if (!Locate(raw, line, length > 0, path, synthesize))
            return false;
        std::int32_t blocks = 0;
        if (synthesize) {
            if (!WholeBlocks(length, line, "FILE length", blocks))
                return false;
            AddPiece(track, Piece{Piece::Source::Pattern, nullptr, 0, SectorFormat::Audio, blocks});
            return true;
        }

        // cdrdao reads WAVE files by their extension; other audio files are raw big-endian samples.
        const bool wave = loader::EndsWithNoCase(path, ".wav");
        std::uint64_t dataOffset = 0;
        std::uint64_t dataBytes = 0;
        std::string why;
        if (wave) {
            loader::WaveData data;
            if (!loader::ReadWaveHeader(path, data, why))
                return Fail(line, why);
            dataOffset = data.offset;
            dataBytes = data.bytes;
        } else {
            std::int64_t unused = 0;
            const auto source = sources_.Get(path, 0, 2352, false, unused, why);
            if (!source)
                return Fail(line, why);
            dataBytes = source->Size();
        }
        const std::uint64_t first = offset + start * 4;
        if (first > dataBytes)
            return Fail(line, "FILE start is beyond the end of \"" + loader::BaseName(path) + "\"");
        if (length == 0) {
            const std::uint64_t samples = (dataBytes - first) / 4;
            if (samples % SamplesPerBlock != 0)
                warnings_.push_back(At(name_, line,
                                       "the last " + std::to_string(samples % SamplesPerBlock) +
                                           " samples of \"" + loader::BaseName(path) +
                                           "\" do not fill a block and are left out"));
            length = samples - samples % SamplesPerBlock;
        } else if (length * 4 > dataBytes - first) {
            return Fail(line, "FILE length reaches beyond the end of \"" + loader::BaseName(path) + "\"");
        }
        if (!WholeBlocks(length, line, "FILE length", blocks))
            return false;
        const bool swap = wave ? swapKeyword : !swapKeyword;
        std::int64_t sector = 0;
        const auto source = sources_.Get(path, dataOffset + first, 2352, swap, sector, why);
        if (!source)
            return Fail(line, why);
        AddPiece(track, Piece{Piece::Source::File, source, sector, SectorFormat::Audio, blocks});
        return true;
    }

    // FILE in a data track (libcdio writes these): start and length in blocks of the track's mode.
    bool ParseDataTrackFile(TocTrack& track, int line, const std::string& raw, std::uint64_t offset)
    {
        std::int32_t start = 0;
        std::int32_t length = 0;
        if (!ReadMsf("FILE start", start))
            return false;
        if (Peek().kind == Kind::Number && !ReadMsf("FILE length", length))
            return false;
        return AddDataPiece(track, line, raw, offset + static_cast<std::uint64_t>(start) * track.stride,
                            length);
    }

    // DATAFILE "name" [#offset] [length]
    bool ParseDataFile(TocTrack& track, int line)
    {
        std::string raw;
        if (!ReadString("DATAFILE", line, raw))
            return false;
        std::uint64_t offset = 0;
        if (IsPunct('#')) {
            ++pos_;
            if (!ReadNumber(std::uint64_t{1} << 40, "a byte offset", offset))
                return false;
        }
        std::uint64_t blocks = 0;
        if (Peek().kind == Kind::Number && !ReadDataBlocks("DATAFILE length", track.stride, blocks))
            return false;
        if (blocks > static_cast<std::uint64_t>(MaxCdBlocks))
            return Fail(line, "DATAFILE length is longer than a CD can be");
        return AddDataPiece(track, line, raw, offset, static_cast<std::int32_t>(blocks));
    }

    // Blocks of a data file (length 0: up to the file's end).
    bool AddDataPiece(TocTrack& track, int line, const std::string& raw, std::uint64_t first,
                      std::int32_t length)
    {
        std::string path;
        bool synthesize = false;
        if (!Locate(raw, line, length > 0, path, synthesize))
            return false;
        const bool audio = track.mode.mode == TrackMode::Audio;
        if (synthesize) {
            const SectorFormat format = audio ? SectorFormat::Audio : loader::UserDataFormat(track.mode.mode);
            AddPiece(track, Piece{Piece::Source::Pattern, nullptr, 0, format, length});
            return true;
        }
        // Audio in a data file is big-endian, as cdrdao writes it.
        std::string why;
        std::int64_t sector = 0;
        const auto source = sources_.Get(path, first, track.stride, audio, sector, why);
        if (!source)
            return Fail(line, why);
        const std::uint64_t size = source->Size();
        const std::string fileName = loader::BaseName(path);
        if (first > size)
            return Fail(line, "the data starts beyond the end of \"" + fileName + "\"");
        std::uint64_t blocks = static_cast<std::uint64_t>(length);
        if (length == 0) {
            blocks = (size - first) / track.stride;
            if ((size - first) % track.stride != 0)
                warnings_.push_back(At(name_, line,
                                       "\"" + fileName +
                                           "\": " + std::to_string((size - first) % track.stride) +
                                           " byte(s) after the last whole block ignored"));
            if (blocks == 0)
                return Fail(line, "\"" + fileName + "\" holds no whole block");
            if (blocks > static_cast<std::uint64_t>(MaxCdBlocks))
                return Fail(line, "\"" + fileName + "\" is longer than a CD can be");
        } else if (blocks * track.stride > size - first) {
            return Fail(line, "the data reaches beyond the end of \"" + fileName + "\"");
        }
        AddPiece(track, Piece{Piece::Source::File, source, sector, track.mode.format,
                              static_cast<std::int32_t>(blocks)});
        return true;
    }

    bool CheckTrack(const TocTrack& track)
    {
        if (track.pieces.empty())
            return Fail(track.line, "TRACK without data (FILE, DATAFILE, SILENCE or ZERO)");
        const std::int32_t start = track.startPos.value_or(0);
        if (start >= track.length)
            return Fail(track.startLine, "START is at or beyond the end of the track");
        std::int32_t previous = 0;
        for (const auto& [at, line] : track.indexes) {
            if (at == 0)
                return Fail(line, "INDEX at the start of the track");
            if (at <= previous)
                return Fail(line, "INDEX is not after the INDEX before it");
            if (at >= track.length - start)
                return Fail(line, "INDEX beyond the end of the track");
            previous = at;
        }
        if (track.endPos && (*track.endPos <= start || *track.endPos > track.length))
            return Fail(track.endLine, "END outside the track");
        return true;
    }

    // --- The disc

    // The bytes of a CD-Text string in a block of the given character code.
    std::string TextBytes(const TextItem& item, std::uint8_t charset, bool& kept)
    {
        if (item.binary) {
            std::string bytes(item.bytes.begin(), item.bytes.end());
            return bytes.substr(0, bytes.find('\0'));
        }
        if (charset == cdtext::CharsetLatin1 || charset == cdtext::CharsetAscii) {
            const std::string converted = loader::Utf8ToLatin1(item.raw);
            if (converted == item.raw && std::any_of(item.raw.begin(), item.raw.end(), [](char c) {
                    return static_cast<unsigned char>(c) >= 0x80;
                }))
                kept = true;
            return Unescape(converted);
        }
        return Unescape(item.raw);
    }

    void BuildCdText(Disc& disc)
    {
        std::set<int> blocks;
        for (const auto& [block, items] : discText_)
            blocks.insert(block);
        for (const TocTrack& track : tracks_)
            for (const auto& [block, items] : track.text)
                blocks.insert(block);

        const std::size_t count = tracks_.size();
        for (const int block : blocks) {
            cdtext::Block out;
            if (const auto language = languages_.find(block); language != languages_.end()) {
                out.language = language->second;
            } else if (block != 0) {
                warnings_.push_back(At(name_, 0,
                                       "CD-Text block " + std::to_string(block) +
                                           " has no language in LANGUAGE_MAP; English assumed"));
            }
            const auto* discItems = discText_.count(block) ? &discText_.at(block) : nullptr;
            out.characterCode = cdtext::CharsetLatin1;
            if (const auto encoding = encodings_.find(block); encoding != encodings_.end()) {
                out.characterCode = encoding->second;
            } else if (discItems && discItems->count(cdtext::SizeInfo) &&
                       discItems->at(cdtext::SizeInfo).binary &&
                       !discItems->at(cdtext::SizeInfo).bytes.empty()) {
                // Without an ENCODING keyword, the block's size information says its character code.
                const std::uint8_t code = discItems->at(cdtext::SizeInfo).bytes[0];
                if (code == 0x00 || code == 0x01 || code == 0x80 || code == 0x81 || code == 0x82)
                    out.characterCode = code;
            }

            bool kept = false;
            const auto put = [&](std::size_t index, std::uint8_t type, const TextItem& item) {
                if ((type >= cdtext::Title && type <= cdtext::DiscId) || type == cdtext::UpcIsrc) {
                    auto& list = out.texts[type];
                    list.resize(count + 1);
                    list[index] = TextBytes(item, out.characterCode, kept);
                } else if (type == cdtext::Genre && index == 0) {
                    if (item.binary) {
                        if (item.bytes.size() >= 2) {
                            out.genreCode = static_cast<std::uint16_t>(item.bytes[0] << 8 | item.bytes[1]);
                            const std::string text(item.bytes.begin() + 2, item.bytes.end());
                            out.genreText = text.substr(0, text.find('\0'));
                        }
                    } else {
                        out.genreText = TextBytes(item, out.characterCode, kept);
                    }
                }
                // Table of contents, closed and size information packs are made by the encoder.
            };
            if (discItems)
                for (const auto& [type, item] : *discItems)
                    put(0, type, item);
            for (std::size_t i = 0; i < count; ++i) {
                const auto it = tracks_[i].text.find(block);
                if (it != tracks_[i].text.end())
                    for (const auto& [type, item] : it->second)
                        put(i + 1, type, item);
            }
            // Empty strings everywhere ("usually empty" placeholders) make no packs.
            for (auto it = out.texts.begin(); it != out.texts.end();) {
                const bool empty = std::all_of(it->second.begin(), it->second.end(),
                                               [](const std::string& s) { return s.empty(); });
                it = empty ? out.texts.erase(it) : std::next(it);
            }
            if (out.texts.empty() && out.genreCode == 0 && out.genreText.empty())
                continue;
            if (kept)
                warnings_.push_back(At(name_, 0,
                                       "CD-Text block " + std::to_string(block) +
                                           ": text that is not ISO 8859-1 kept as written"));
            if (out.characterCode >= cdtext::CharsetMsJis) {
                const bool nonAscii = std::any_of(out.texts.begin(), out.texts.end(), [](const auto& entry) {
                    return std::any_of(entry.second.begin(), entry.second.end(), [](const std::string& s) {
                        return std::any_of(s.begin(), s.end(),
                                           [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
                    });
                });
                if (nonAscii)
                    warnings_.push_back(
                        At(name_, 0,
                           "CD-Text block " + std::to_string(block) +
                               ": double-byte text kept as the file writes it, not converted"));
            }
            disc.cdText.push_back(std::move(out));
        }
    }

    bool Build(Disc& disc)
    {
        loader::DiscLayout layout(disc);
        for (std::size_t i = 0; i < tracks_.size(); ++i) {
            const TocTrack& in = tracks_[i];
            Track track;
            track.number = static_cast<std::uint8_t>(i + 1);
            track.mode = in.mode.mode;
            track.control = in.control;
            track.isrc = in.isrc;
            track.pregapStart = layout.Position();
            track.start = track.pregapStart + in.startPos.value_or(0);
            for (const auto& [at, line] : in.indexes)
                track.moreIndexes.push_back(track.start + at);
            for (const Piece& piece : in.pieces) {
                switch (piece.source) {
                case Piece::Source::File:
                    layout.Data(piece.file, piece.format, piece.sector, piece.blocks);
                    break;
                case Piece::Source::Zeros:
                    layout.Zeros(piece.format, piece.blocks);
                    break;
                case Piece::Source::Pattern:
                    layout.Pattern(piece.format, piece.blocks);
                    break;
                }
            }
            track.end = layout.Position();
            if (track.end > MaxCdBlocks)
                return Fail(in.line,
                            "the disc is longer than a CD can be (" + std::to_string(track.end) + " blocks)");
            disc.tracks.push_back(std::move(track));
        }
        Session session;
        session.leadOut = layout.Position();
        session.discType = tocType_ == "CD_ROM_XA" ? 0x20 : tocType_ == "CD_I" ? 0x10 : 0x00;
        disc.sessions.push_back(session);
        disc.media = MediaKind::PressedCd;
        disc.status = DiscStatus::Complete;
        disc.mcn = mcn_;
        BuildCdText(disc);

        std::string why;
        if (!loader::FinishCd(disc, tocType_.empty(), why))
            return Fail(0, why);
        return true;
    }

    std::string name_;
    std::string directory_;
    LoadOptions options_;
    std::string error_;
    std::vector<std::string> warnings_;

    std::vector<Token> tokens_;
    std::size_t pos_ = 0;

    std::string mcn_;
    std::string tocType_;
    BlockItems discText_;
    std::map<int, std::uint8_t> languages_;
    std::map<int, std::uint8_t> encodings_;
    std::vector<TocTrack> tracks_;
    loader::FileSources sources_;
};

} // namespace

LoadResult LoadToc(const std::string& path, const LoadOptions& options)
{
    TocParser parser(path, options);
    return parser.Load(path);
}

} // namespace tolvane::emulator
