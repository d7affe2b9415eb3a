#include "FuzzSupport.h"

#include "disc/Decoders.h"
#include "emulator/DemoDiscs.h"
#include "emulator/ImageLoader.h"
#include "util/CdText.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace tolvane::fuzz {

namespace {

using emulator::Disc;
using emulator::Extent;
using emulator::SectorFormat;
using emulator::Track;
using emulator::TrackMode;

constexpr std::size_t CdbSize = 12;

std::vector<std::uint8_t> Cdb(std::initializer_list<std::uint8_t> head)
{
    std::vector<std::uint8_t> cdb(head);
    cdb.resize(CdbSize, 0);
    return cdb;
}

std::vector<std::uint8_t> WithBe16(std::vector<std::uint8_t> cdb, std::size_t offset, std::size_t value)
{
    PutBe16(cdb, offset, static_cast<std::uint16_t>(value));
    return cdb;
}

std::vector<std::uint8_t> WithBe32(std::vector<std::uint8_t> cdb, std::size_t offset, std::int64_t value)
{
    PutBe32(cdb, offset, static_cast<std::uint32_t>(value));
    return cdb;
}

// The ten-byte commands with the allocation length at bytes 7-8.
Command Alloc10(std::string name, std::vector<std::uint8_t> cdb, std::size_t length)
{
    return Command{std::move(name), WithBe16(std::move(cdb), 7, length), length};
}

Command ReadToc(std::string name, bool msf, std::uint8_t format, std::size_t length = 2048)
{
    return Alloc10(std::move(name), Cdb({0x43, static_cast<std::uint8_t>(msf ? 0x02 : 0x00), format}),
                   length);
}

Command ReadCd(std::string name, std::int32_t lba, std::uint8_t subChannel)
{
    // Any sector type, sync + headers + user data + EDC/ECC, then the sub-channel asked for.
    std::vector<std::uint8_t> cdb = WithBe32(Cdb({0xBE, 0x00}), 2, lba);
    cdb[8] = 1;
    cdb[9] = 0xF8;
    cdb[10] = subChannel;
    const std::size_t extra = subChannel == 0 ? 0 : subChannel == 2 ? 16 : 96;
    return Command{std::move(name), cdb, 2352 + extra};
}

std::shared_ptr<const emulator::SectorSource> AudioPattern()
{
    static const auto source = std::make_shared<emulator::AddressPatternSource>();
    return source;
}

std::shared_ptr<const emulator::SectorSource> DataPattern()
{
    static const auto source =
        std::make_shared<emulator::GeneratedSource>([](std::int64_t sector, std::span<std::uint8_t> out) {
            for (std::size_t i = 0; i < out.size(); ++i)
                out[i] = static_cast<std::uint8_t>(sector * 31 + i);
        });
    return source;
}

Track MakeTrack(std::uint8_t number, std::uint8_t session, TrackMode mode, std::int32_t pregapStart,
                std::int32_t start, std::int32_t end, std::uint8_t control, std::string isrc)
{
    Track t;
    t.number = number;
    t.session = session;
    t.mode = mode;
    t.control = control;
    t.pregapStart = pregapStart;
    t.start = start;
    t.end = end;
    t.isrc = std::move(isrc);
    return t;
}

std::shared_ptr<const Disc> MakeEnhancedCd()
{
    namespace control = emulator::control;
    auto d = std::make_shared<Disc>();
    d->name = "fuzz enhanced cd";
    d->media = emulator::MediaKind::CdR;
    d->sessions = {emulator::Session{1, 3000, 0x00}, emulator::Session{2, 15400, 0x20}};
    d->tracks = {
        MakeTrack(1, 1, TrackMode::Audio, 0, 0, 1000, control::CopyPermitted, "USXYZ9900001"),
        MakeTrack(2, 1, TrackMode::Audio, 1000, 1150, 2000, control::PreEmphasis, "USXYZ9900002"),
        MakeTrack(3, 1, TrackMode::Audio, 2000, 2000, 3000, 0, {}),
        MakeTrack(4, 2, TrackMode::Mode1, 3000 + emulator::SessionGap - 150, 3000 + emulator::SessionGap,
                  15400, control::Data, {}),
    };
    d->tracks[1].moreIndexes = {1300};
    d->mcn = "0123456789012";
    cdtext::Block block;
    block.texts[cdtext::Title] = {"Fuzz", "One", "Two", "Three", "Data"};
    block.texts[cdtext::Performer] = {"Tolvane", "Tolvane", "Tolvane", "Tolvane"};
    block.genreCode = 3;
    block.genreText = "noise";
    d->cdText = {block};
    d->capacity = 15400;
    d->extents = {Extent{0, 3000, SectorFormat::Audio, AudioPattern(), 0},
                  Extent{d->tracks[3].pregapStart, 15400 - d->tracks[3].pregapStart, SectorFormat::Mode1Data,
                         DataPattern(), 0}};
    return d;
}

// The demo CD with its music replaced by a pattern: the drive answers the same, and a run
// spends its time in the dispatch rather than in the synthesizer.
std::shared_ptr<const Disc> DemoCdLayout()
{
    auto d = std::make_shared<Disc>(*emulator::MakeDemoCd());
    for (Extent& e : d->extents)
        if (e.format == SectorFormat::Audio)
            e.source = AudioPattern();
    return d;
}

// The folder, removed when the process ends normally (after a crash it stays, with the evidence).
struct Scratch {
    std::string path = "/tmp/tolvane-fuzz-" + std::to_string(::getpid());

    Scratch() { std::filesystem::create_directories(path); }
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

void Fail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

const std::string& ScratchFolder()
{
    static const Scratch scratch;
    return scratch.path;
}

void WriteFile(const std::string& path, ConstBytes bytes)
{
    // Plain system calls: a stream's buffer would cost more than the write for most inputs.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    TOLVANE_FUZZ_CHECK(fd >= 0);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        TOLVANE_FUZZ_CHECK(n > 0);
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void WriteSheetCompanions(const std::string& folder)
{
    constexpr std::uint64_t BytesPerMinute = std::uint64_t{60} * 75 * 2352;
    const auto extend = [](const std::string& path, std::uint64_t size) {
        TOLVANE_FUZZ_CHECK(::truncate(path.c_str(), static_cast<off_t>(size)) == 0);
    };
    const auto writePair = [&](const std::string& stem, std::uint64_t bytes) {
        WriteFile(folder + "/" + stem + ".bin", {});
        extend(folder + "/" + stem + ".bin", bytes);

        std::vector<std::uint8_t> wave(44, 0);
        const auto put = [&](std::size_t offset, std::string_view text) {
            std::copy(text.begin(), text.end(), wave.begin() + static_cast<std::ptrdiff_t>(offset));
        };
        const auto le32 = [&](std::size_t offset, std::uint64_t v) {
            for (std::size_t i = 0; i < 4; ++i)
                wave[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
        };
        put(0, "RIFF");
        le32(4, 36 + bytes);
        put(8, "WAVEfmt ");
        le32(16, 16);
        wave[20] = 1;        // PCM
        wave[22] = 2;        // stereo
        le32(24, 44100);     // samples per second
        le32(28, 44100 * 4); // bytes per second
        wave[32] = 4;        // block align
        wave[34] = 16;       // bits per sample
        put(36, "data");
        le32(40, bytes);
        WriteFile(folder + "/" + stem + ".wav", wave);
        extend(folder + "/" + stem + ".wav", wave.size() + bytes);
    };
    // Sparse: a whole CD's length for sheets of one file, two minutes for sheets of a file per track.
    writePair("data", 80 * BytesPerMinute);
    writePair("short", 2 * BytesPerMinute);

    cdtext::Block block;
    block.texts[cdtext::Title] = {"Companion", "Track"};
    block.texts[cdtext::Performer] = {"Fuzz"};
    WriteFile(folder + "/data.cdt", cdtext::Encode({block}, 1, 1));
}

const std::vector<std::shared_ptr<const Disc>>& Discs()
{
    static const std::vector<std::shared_ptr<const Disc>> discs{DemoCdLayout(), MakeEnhancedCd(),
                                                                emulator::MakeDemoDvd()};
    return discs;
}

std::size_t DataInSize(std::uint8_t code)
{
    return code < 128 ? code : std::size_t{code - 127u} * 512;
}

std::uint8_t DataInCode(std::size_t size)
{
    if (size < 128)
        return static_cast<std::uint8_t>(size);
    return static_cast<std::uint8_t>(std::min<std::size_t>(127 + (size + 511) / 512, 255));
}

void LimitTransferLength(std::vector<std::uint8_t>& cdb, std::size_t bufferSize)
{
    if (cdb.size() >= 10 && cdb[0] == 0x28) {
        const std::size_t limit = bufferSize / 2048 + 2;
        PutBe16(cdb, 7, static_cast<std::uint16_t>(std::min<std::size_t>(Be16(cdb, 7), limit)));
    } else if (cdb.size() >= 12 && cdb[0] == 0xBE) {
        const std::size_t limit = bufferSize / 2352 + 2;
        PutBe24(cdb, 6, static_cast<std::uint32_t>(std::min<std::size_t>(Be24(cdb, 6), limit)));
    }
}

namespace {

// An answer never goes past the allocation length, nor past the length its own header declares
// (it may stop short of the latter: the allocation length cuts it).
void CheckAnswerLength(ConstBytes cdb, ConstBytes answer)
{
    if (cdb.size() < 10)
        return;
    const std::size_t n = answer.size();
    switch (cdb[0]) {
    case 0x12: // INQUIRY
        TOLVANE_FUZZ_CHECK(n <= Be16(cdb, 3));
        TOLVANE_FUZZ_CHECK(n < 5 || n <= std::size_t{answer[4]} + 5);
        break;
    case 0x03: // REQUEST SENSE
        TOLVANE_FUZZ_CHECK(n <= cdb[4]);
        TOLVANE_FUZZ_CHECK(n < 8 || n <= std::size_t{answer[7]} + 8);
        break;
    case 0x42: // READ SUB-CHANNEL
        TOLVANE_FUZZ_CHECK(n <= Be16(cdb, 7));
        TOLVANE_FUZZ_CHECK(n < 4 || n <= std::size_t{Be16(answer, 2)} + 4);
        break;
    case 0x46: // GET CONFIGURATION
        TOLVANE_FUZZ_CHECK(n <= Be16(cdb, 7));
        TOLVANE_FUZZ_CHECK(n < 4 || n <= std::size_t{Be32(answer, 0)} + 4);
        break;
    case 0xAD: // READ DISC STRUCTURE
        TOLVANE_FUZZ_CHECK(n <= Be16(cdb, 8));
        TOLVANE_FUZZ_CHECK(n < 2 || n <= std::size_t{Be16(answer, 0)} + 2);
        break;
    case 0x43: // READ TOC/PMA/ATIP
    case 0x44: // READ HEADER (no length field)
    case 0x4A: // GET EVENT STATUS NOTIFICATION
    case 0x51: // READ DISC INFORMATION
    case 0x52: // READ TRACK INFORMATION
    case 0x5A: // MODE SENSE(10)
        TOLVANE_FUZZ_CHECK(n <= Be16(cdb, 7));
        if (cdb[0] != 0x44)
            TOLVANE_FUZZ_CHECK(n < 2 || n <= std::size_t{Be16(answer, 0)} + 2);
        break;
    default:
        break;
    }
}

} // namespace

ScsiResult ExecuteChecked(emulator::EmulatedDrive& drive, ConstBytes cdb, std::vector<std::uint8_t>& buffer)
{
    const ScsiResult result = drive.Execute(cdb, buffer);
    TOLVANE_FUZZ_CHECK(result.transport == TransportOutcome::Delivered);
    TOLVANE_FUZZ_CHECK(result.senseLength <= ScsiResult::MaxSense);
    if (result.status == scsi::StatusGood) {
        TOLVANE_FUZZ_CHECK(result.residual >= 0);
        TOLVANE_FUZZ_CHECK(static_cast<std::size_t>(result.residual) <= buffer.size());
        CheckAnswerLength(
            cdb, ConstBytes(buffer).first(buffer.size() - static_cast<std::size_t>(result.residual)));
    } else {
        TOLVANE_FUZZ_CHECK(result.status == scsi::StatusCheckCondition);
        TOLVANE_FUZZ_CHECK(result.senseLength > 2);
    }
    return result;
}

std::vector<Command> SurveyCommands(const Disc& disc)
{
    std::vector<Command> commands{
        {"inquiry", WithBe16(Cdb({0x12}), 3, 96), 96},
        Alloc10("modesense-2a", Cdb({0x5A, 0x00, 0x2A}), 64),
        Alloc10("configuration", Cdb({0x46, 0x00}), 512),
        Alloc10("events", Cdb({0x4A, 0x01, 0x00, 0x00, 0x10}), 8),
        {"capacity", Cdb({0x25}), 8},
        ReadToc("toc0-lba", false, 0),
        ReadToc("toc0-msf", true, 0),
        ReadToc("toc1", false, 1),
        ReadToc("toc2", true, 2),
        ReadToc("toc2-lba", false, 2),
        ReadToc("toc4", true, 4),
        ReadToc("toc5", false, 5, 0xFFFF),
        Alloc10("subq1", Cdb({0x42, 0x02, 0x40, 0x01}), 16),
        Alloc10("subq2", Cdb({0x42, 0x00, 0x40, 0x02}), 24),
        Alloc10("discinfo", Cdb({0x51}), 34),
        {"structure0", WithBe16(Cdb({0xAD, 0, 0, 0, 0, 0, 0, 0x00}), 8, 2052), 2052},
        {"structure1", WithBe16(Cdb({0xAD, 0, 0, 0, 0, 0, 0, 0x01}), 8, 8), 8},
        {"sense", Cdb({0x03, 0, 0, 0, 18}), 18},
    };
    for (const Track& t : disc.tracks) {
        const std::string n = std::to_string(t.number);
        commands.push_back(Alloc10("subq3-" + n, Cdb({0x42, 0x00, 0x40, 0x03, 0, 0, t.number}), 24));
        commands.push_back(Alloc10("trackinfo-" + n, WithBe32(Cdb({0x52, 0x01}), 2, t.number), 36));
        commands.push_back(ReadCd("readcd-" + n, t.start, 0));
        commands.push_back(ReadCd("readcd-last-" + n, t.end - 1, 2));
        if (t.pregapStart < t.start)
            commands.push_back(ReadCd("readcd-pregap-" + n, t.pregapStart, 1));
        if (emulator::IsData(t.mode)) {
            commands.push_back(Alloc10("header-" + n, WithBe32(Cdb({0x44, 0x00}), 2, t.start), 8));
            commands.push_back(Alloc10("header-msf-" + n, WithBe32(Cdb({0x44, 0x02}), 2, t.start), 8));
        }
    }
    const bool dataFirst = !disc.tracks.empty() && emulator::IsData(disc.tracks.front().mode);
    if (dataFirst || emulator::IsDvd(disc.media)) {
        for (const std::int32_t block : {16, 17}) {
            std::vector<std::uint8_t> cdb = WithBe32(Cdb({0x28}), 2, block);
            cdb[8] = 1;
            commands.push_back(Command{"read10-" + std::to_string(block), cdb, 2048});
        }
    }
    return commands;
}

void CheckLoadedDisc(const std::shared_ptr<const Disc>& disc)
{
    const Disc& d = *disc;
    for (std::size_t i = 0; i < d.tracks.size(); ++i) {
        const Track& t = d.tracks[i];
        TOLVANE_FUZZ_CHECK(t.number >= 1 && t.number <= 99);
        TOLVANE_FUZZ_CHECK(t.number == d.tracks.front().number + i);
        TOLVANE_FUZZ_CHECK(t.pregapStart <= t.start && t.start <= t.end);
        TOLVANE_FUZZ_CHECK(i == 0 || d.tracks[i - 1].end <= t.pregapStart);
        TOLVANE_FUZZ_CHECK(i == 0 || d.tracks[i - 1].session <= t.session);
    }
    for (std::size_t i = 0; i < d.extents.size(); ++i) {
        const Extent& e = d.extents[i];
        TOLVANE_FUZZ_CHECK(e.length >= 0 && e.source != nullptr);
        TOLVANE_FUZZ_CHECK(i == 0 || d.extents[i - 1].End() <= e.start);
    }
    TOLVANE_FUZZ_CHECK(d.tracks.empty() || !d.sessions.empty());
    if (!emulator::IsDvd(d.media) && !d.tracks.empty()) {
        // Sessions numbered from 1; a session's last track ends at its lead-out; the readable
        // blocks end at the last lead-out.
        for (std::size_t s = 0; s < d.sessions.size(); ++s)
            TOLVANE_FUZZ_CHECK(d.sessions[s].number == s + 1);
        for (std::size_t i = 0; i < d.tracks.size(); ++i) {
            const Track& t = d.tracks[i];
            TOLVANE_FUZZ_CHECK(t.session >= 1 && t.session <= d.sessions.size());
            if (i + 1 == d.tracks.size() || d.tracks[i + 1].session != t.session)
                TOLVANE_FUZZ_CHECK(t.end == d.sessions[t.session - 1].leadOut);
        }
        TOLVANE_FUZZ_CHECK(d.capacity == d.LeadOut());
    }

    emulator::EmulatedDrive drive;
    drive.Insert(disc);
    std::vector<std::uint8_t> buffer;
    const auto run = [&](const std::vector<std::uint8_t>& cdb, std::size_t size) {
        buffer.assign(size, 0);
        return ExecuteChecked(drive, cdb, buffer);
    };
    run(Cdb({0x00}), 0); // takes the unit attention of the loaded disc
    for (const Command& c : SurveyCommands(d)) {
        const ScsiResult result = run(c.cdb, c.dataIn);
        if (c.name != "toc0-lba" || d.tracks.empty())
            continue;
        // The track list as a reader decodes it is the disc's.
        TOLVANE_FUZZ_CHECK(result.Good());
        const auto toc = decode::DecodeToc(ConstBytes(buffer).first(buffer.size() - result.residual));
        TOLVANE_FUZZ_CHECK(toc && toc->answered == d.tracks.size() + 1);
        TOLVANE_FUZZ_CHECK(toc->firstTrack == d.FirstTrack() && toc->lastTrack == d.LastTrack());
        for (std::size_t i = 0; i < d.tracks.size(); ++i)
            TOLVANE_FUZZ_CHECK(toc->descriptors[i].track == d.tracks[i].number &&
                               toc->descriptors[i].Lba() == d.tracks[i].start);
        TOLVANE_FUZZ_CHECK(toc->LeadOut() && toc->LeadOut()->Lba() == d.LeadOut());
    }
}

} // namespace tolvane::fuzz
