#include "emulator/EmulatedDrive.h"

#include "emulator/SectorSynth.h"
#include "support/Hex.h"
#include "support/TestData.h"
#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace tolvane::emulator {
namespace {

using namespace std::chrono_literals;
using Cdb = std::vector<std::uint8_t>;

// --- Discs built by hand ---

std::shared_ptr<const SectorSource> Pattern()
{
    static const auto source = std::make_shared<AddressPatternSource>();
    return source;
}

std::uint8_t Mode1Byte(std::int64_t sector, std::size_t i)
{
    return static_cast<std::uint8_t>(sector * 7 + i * 13 + 1);
}

std::shared_ptr<const SectorSource> Mode1Source()
{
    static const auto source =
        std::make_shared<GeneratedSource>([](std::int64_t s, std::span<std::uint8_t> out) {
            for (std::size_t i = 0; i < out.size(); ++i)
                out[i] = Mode1Byte(s, i);
        });
    return source;
}

// XA sectors with their sub-headers: form 1 at even sectors, form 2 at odd ones.
std::shared_ptr<const SectorSource> XaSource()
{
    static const auto source =
        std::make_shared<GeneratedSource>([](std::int64_t s, std::span<std::uint8_t> out) {
            const std::uint8_t submode = s % 2 == 0 ? synth::SubmodeData : synth::SubmodeForm2;
            for (std::size_t i = 0; i < out.size(); ++i)
                out[i] = static_cast<std::uint8_t>(s + i);
            for (std::size_t copy : {0u, 4u}) {
                out[copy] = 1;
                out[copy + 1] = 0;
                out[copy + 2] = submode;
                out[copy + 3] = 0;
            }
        });
    return source;
}

// Track{number, session, mode, control, pregap start, start, more indexes, end, ISRC}.

// Tracks at 0, 20000 (INDEX 00 at 19850, INDEX 02 at 21000) and 35000; lead-out 50000.
std::shared_ptr<Disc> AudioDisc()
{
    auto d = std::make_shared<Disc>();
    d->name = "three tracks";
    d->sessions = {Session{1, 50000, 0x00}};
    d->tracks = {Track{1, 1, TrackMode::Audio, control::CopyPermitted, 0, 0, {}, 19850, "USXYZ9912345"},
                 Track{2, 1, TrackMode::Audio, control::PreEmphasis, 19850, 20000, {21000}, 35000, ""},
                 Track{3, 1, TrackMode::Audio, control::FourChannel, 35000, 35000, {}, 50000, ""}};
    d->mcn = "0000012101954";
    d->capacity = 50000;
    d->extents = {Extent{0, 50000, SectorFormat::Audio, Pattern(), 0}};
    return d;
}

// A Mode 1 track of 10000 blocks, then an audio track with a pregap.
std::shared_ptr<Disc> MixedDisc()
{
    auto d = std::make_shared<Disc>();
    d->sessions = {Session{1, 20000, 0x00}};
    d->tracks = {Track{1, 1, TrackMode::Mode1, 0, 0, 0, {}, 10000, ""},
                 Track{2, 1, TrackMode::Audio, 0, 10000, 10150, {}, 20000, ""}};
    d->capacity = 20000;
    d->extents = {Extent{0, 10000, SectorFormat::Mode1Data, Mode1Source(), 0},
                  Extent{10000, 10000, SectorFormat::Audio, Pattern(), 10000}};
    return d;
}

// Session 1: two audio tracks, lead-out 30000. Session 2, 11,400 blocks later:
// an XA track (form 1 and form 2 sectors), lead-out 50000.
std::shared_ptr<Disc> EnhancedDisc()
{
    auto d = std::make_shared<Disc>();
    d->sessions = {Session{1, 30000, 0x00}, Session{2, 50000, 0x20}};
    d->tracks = {Track{1, 1, TrackMode::Audio, 0, 0, 0, {}, 15000, ""},
                 Track{2, 1, TrackMode::Audio, 0, 15000, 15000, {}, 30000, ""},
                 Track{3, 2, TrackMode::Mode2FormMix, 0, 41250, 41400, {}, 50000, ""}};
    d->capacity = 50000;
    d->extents = {Extent{0, 30000, SectorFormat::Audio, Pattern(), 0},
                  Extent{41250, 8750, SectorFormat::Mode2Data, XaSource(), 0}};
    return d;
}

// A dual-layer DVD-ROM for region 2, with no track list of its own.
std::shared_ptr<Disc> DvdDisc(MediaKind kind = MediaKind::DvdRom, std::uint8_t layers = 2)
{
    auto d = std::make_shared<Disc>();
    d->media = kind;
    d->layers = layers;
    d->regions = 0x02;
    d->capacity = 2500000;
    d->extents = {Extent{0, 2500000, SectorFormat::Mode1Data, Mode1Source(), 0}};
    return d;
}

// A recordable or rewritable CD with one data track of 5000 blocks, or none when it is blank.
std::shared_ptr<Disc> DataCd(MediaKind kind, DiscStatus status = DiscStatus::Complete)
{
    auto d = std::make_shared<Disc>();
    d->media = kind;
    d->status = status;
    if (status != DiscStatus::Empty) {
        d->sessions = {Session{1, 5000, 0x00}};
        d->tracks = {Track{1, 1, TrackMode::Mode1, 0, 0, 0, {}, 5000, ""}};
        d->capacity = 5000;
    }
    return d;
}

std::shared_ptr<Disc> BlankCd(MediaKind kind)
{
    return DataCd(kind, DiscStatus::Empty);
}

// --- Commands ---

const Cdb TestUnitReady{0x00, 0, 0, 0, 0, 0};
const Cdb ReadCapacity{0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const Cdb ReadDiscInformation{0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0};
const Cdb RequestSense{0x03, 0, 0, 0, 18, 0};

Cdb Inquiry(std::uint8_t alloc = 36)
{
    return {0x12, 0, 0, 0, alloc, 0};
}
Cdb StartStop(std::uint8_t byte4)
{
    return {0x1B, 0, 0, 0, byte4, 0};
}
// A 10-byte command: bytes 2-5 as one big-endian field, byte 6, the allocation length at bytes 7-8.
Cdb Cdb10(std::uint8_t op, std::uint8_t b1, std::uint32_t b2to5, std::uint8_t b6, std::uint16_t alloc)
{
    Cdb c{op, b1, 0, 0, 0, 0, b6, 0, 0, 0};
    PutBe32(c, 2, b2to5);
    PutBe16(c, 7, alloc);
    return c;
}
Cdb ModeSense(std::uint8_t page, std::uint16_t alloc = 40)
{
    return Cdb10(0x5A, 0, std::uint32_t{page} << 24, 0, alloc);
}
Cdb ReadToc(bool msf, std::uint8_t format, std::uint16_t alloc = 2048, std::uint8_t start = 0)
{
    return Cdb10(0x43, msf ? 0x02 : 0x00, std::uint32_t{format} << 24, start, alloc);
}
Cdb ReadSubChannel(std::uint8_t format, std::uint8_t track = 0) // SubQ set
{
    return Cdb10(0x42, 0, 0x40000000u | std::uint32_t{format} << 16, track, 24);
}
Cdb GetConfiguration(std::uint8_t rt = 0, std::uint16_t start = 0, std::uint16_t alloc = 256)
{
    return Cdb10(0x46, rt, std::uint32_t{start} << 16, 0, alloc);
}
Cdb EventStatus(std::uint8_t classes = 0x10) // polled
{
    return Cdb10(0x4A, 0x01, std::uint32_t{classes} << 8, 0, 8);
}
Cdb ReadHeader(std::int32_t lba, bool msf)
{
    return Cdb10(0x44, msf ? 0x02 : 0x00, static_cast<std::uint32_t>(lba), 0, 8);
}
Cdb ReadTrackInformation(std::uint8_t addressType, std::uint32_t address)
{
    return Cdb10(0x52, addressType, address, 0, 48);
}
Cdb Read10(std::int32_t lba, std::uint16_t blocks)
{
    return Cdb10(0x28, 0, static_cast<std::uint32_t>(lba), 0, blocks);
}
Cdb ReadCd(std::int32_t lba, std::uint32_t blocks, std::uint8_t expected = 0, std::uint8_t main = 0xF8,
           std::uint8_t sub = 0)
{
    Cdb c(12, 0);
    c[0] = 0xBE;
    c[1] = static_cast<std::uint8_t>(expected << 2);
    PutBe32(c, 2, static_cast<std::uint32_t>(lba));
    PutBe24(c, 6, blocks);
    c[9] = main;
    c[10] = sub;
    return c;
}
Cdb ReadDiscStructure(std::uint8_t format, std::uint8_t layer = 0, std::uint16_t alloc = 2052)
{
    Cdb c(12, 0);
    c[0] = 0xAD;
    c[6] = layer;
    c[7] = format;
    PutBe16(c, 8, alloc);
    return c;
}

struct Reply {
    ScsiResult result;
    std::vector<std::uint8_t> data;

    std::string Status() const { return result.Describe(); }
    std::size_t Transferred() const { return data.size() - static_cast<std::size_t>(result.residual); }
};

Reply Send(EmulatedDrive& drive, const Cdb& cdb, std::size_t size = 0)
{
    Reply r;
    r.data.assign(size, 0);
    r.result = drive.Execute(cdb, r.data);
    return r;
}

// A drive holding the disc, its UNIT ATTENTION consumed.
std::shared_ptr<EmulatedDrive> ReadyDrive(std::shared_ptr<const Disc> disc,
                                          std::shared_ptr<Clock> clock = nullptr)
{
    auto drive = std::make_shared<EmulatedDrive>(std::move(clock));
    drive->Insert(std::move(disc));
    Send(*drive, TestUnitReady);
    return drive;
}

constexpr const char* Good = "GOOD";
constexpr auto ByName = [](const auto& info) { return std::string(info.param.name); };

// --- Sense for each failure ---

struct FailureCase {
    const char* name;
    std::shared_ptr<Disc> (*disc)();
    Cdb cdb;
    std::size_t buffer;
    const char* status;
};

class Failures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(Failures, AnswerWithTheSenseOfARealDrive)
{
    const FailureCase& c = GetParam();
    auto drive = ReadyDrive(c.disc());
    const Reply r = Send(*drive, c.cdb, c.buffer);
    EXPECT_EQ(r.Status(), c.status);
    EXPECT_EQ(r.result.residual, static_cast<std::int32_t>(c.buffer));
    // REQUEST SENSE gives the same sense once more, then clears it.
    const Reply sense = Send(*drive, RequestSense, 18);
    ASSERT_EQ(sense.Status(), Good);
    EXPECT_TRUE(std::equal(sense.data.begin(), sense.data.end(), r.result.sense.begin()));
    EXPECT_EQ(Send(*drive, RequestSense, 18).data[2], 0) << "the sense was cleared";
}

constexpr auto Dvd = [] { return DvdDisc(); };
constexpr auto CdRw = [] { return DataCd(MediaKind::CdRw); };
constexpr const char* BadField = "CHECK CONDITION 05/24/00";
constexpr const char* BadMode = "CHECK CONDITION 05/64/00"; // illegal mode for this track
constexpr const char* OutOfRange = "CHECK CONDITION 05/21/00";

INSTANTIATE_TEST_SUITE_P(
    Commands, Failures,
    ::testing::Values(
        FailureCase{"UnknownOpcode", AudioDisc, Cdb{0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0,
                    "CHECK CONDITION 05/20/00"},
        FailureCase{"ShortCommandBlock", AudioDisc, {0x43, 0, 0}, 0, BadField},
        FailureCase{"Read10PastCapacity", MixedDisc, Read10(19999, 2), 4096, OutOfRange},
        FailureCase{"Read10OfForm2", EnhancedDisc, Read10(41401, 1), 2048, BadMode},
        FailureCase{"ReadCdAudioTypeOnData", MixedDisc, ReadCd(5, 1, 1), 2352, BadMode},
        FailureCase{"ReadCdMode1TypeOnAudio", MixedDisc, ReadCd(12000, 1, 2), 2352, BadMode},
        FailureCase{"ReadCdForm1TypeOnForm2", EnhancedDisc, ReadCd(41400, 2, 4), 4704, BadMode},
        FailureCase{"ReadCdPastCapacity", AudioDisc, ReadCd(49990, 27, 1), 63504, OutOfRange},
        FailureCase{"ReadCdBetweenSessions", EnhancedDisc, ReadCd(35000, 1), 2352, OutOfRange},
        FailureCase{"ReadCdReservedSubChannel", AudioDisc, ReadCd(0, 1, 1, 0xF8, 0x03), 2448, BadField},
        FailureCase{"ReadCdSyncWithoutHeader", MixedDisc, ReadCd(0, 1, 0, 0x90), 2352, BadField},
        FailureCase{"ReadCdReservedType", AudioDisc, ReadCd(0, 1, 7), 2352, BadField},
        FailureCase{"ReadCdOfDvd", Dvd, ReadCd(0, 1), 2352, BadMode},
        FailureCase{"DiscStructureLayer2", Dvd, ReadDiscStructure(0, 2), 2052, BadField},
        FailureCase{"DiscStructureFormat4", Dvd, ReadDiscStructure(4), 2052, BadField},
        FailureCase{"FullTocOfDvd", Dvd, ReadToc(false, 2), 2048, BadField},
        FailureCase{"TocPmaFormat", AudioDisc, ReadToc(false, 3), 2048, BadField},
        FailureCase{"TocStartPastLastTrack", AudioDisc, ReadToc(false, 0, 804, 4), 804, BadField},
        FailureCase{"ModeSenseOtherPage", AudioDisc, ModeSense(0x01), 40, BadField},
        FailureCase{"ModeSenseSavedValues", AudioDisc, ModeSense(0xEA), 40, "CHECK CONDITION 05/39/00"},
        FailureCase{"IsrcOfMissingTrack", AudioDisc, ReadSubChannel(3, 9), 24, BadField},
        FailureCase{"SubChannelFormat4", AudioDisc, ReadSubChannel(4, 1), 24, BadField},
        FailureCase{"HeaderOfAudio", AudioDisc, ReadHeader(100, true), 8, BadMode},
        FailureCase{"HeaderPastCapacity", MixedDisc, ReadHeader(20000, false), 8, OutOfRange},
        FailureCase{"TrackInformationOfMissingTrack", AudioDisc, ReadTrackInformation(1, 9), 48, BadField},
        FailureCase{"InvisibleTrackOfPressedCd", CdRw, ReadTrackInformation(1, 2), 48, BadField},
        FailureCase{"InquiryVitalProductData", AudioDisc, {0x12, 0x01, 0x80, 0, 36, 0}, 36, BadField},
        FailureCase{"EventStatusAsynchronous", AudioDisc, Cdb10(0x4A, 0, 0, 0, 8), 8, BadField}),
    ByName);

// --- Medium states ---

// Closed and empty, open and empty, open with a disc in the tray.
TEST(EmptyTray, MediumCommandsFailAndTheOthersWork)
{
    for (const auto& [trayOpen, disc] : {std::pair{false, false}, {true, false}, {true, true}}) {
        SCOPED_TRACE(std::string(trayOpen ? "open" : "closed") + (disc ? " with a disc" : " and empty"));
        const std::string status = trayOpen ? "CHECK CONDITION 02/3A/02" : "CHECK CONDITION 02/3A/01";
        EmulatedDrive drive;
        if (disc) {
            drive.Insert(AudioDisc());
            Send(drive, TestUnitReady);
        }
        if (trayOpen) {
            ASSERT_EQ(Send(drive, StartStop(0x02)).Status(), Good);
        }
        for (const Cdb& cdb :
             {TestUnitReady, ReadToc(false, 0), ReadCapacity, Read10(16, 1), ReadCd(0, 1), ReadSubChannel(2),
              ReadDiscInformation, ReadTrackInformation(1, 1), ReadHeader(0, false), ReadDiscStructure(0)})
            EXPECT_EQ(Send(drive, cdb, 2352).Status(), status) << "opcode " << int(cdb[0]);
        ASSERT_EQ(Send(drive, RequestSense, 18).Status(), Good);
        for (const Cdb& cdb : {Inquiry(), ModeSense(0x2A), GetConfiguration(), EventStatus(), RequestSense})
            EXPECT_EQ(Send(drive, cdb, 256).Status(), Good) << "opcode " << int(cdb[0]);
        // REQUEST SENSE with nothing pending describes the medium's state.
        const Reply state = Send(drive, RequestSense, 18);
        EXPECT_EQ(std::make_tuple(state.data[2], state.data[12], state.data[13]),
                  std::make_tuple(0x02, 0x3A, trayOpen ? 0x02 : 0x01));
        EXPECT_EQ(Be16(Send(drive, GetConfiguration(), 64).data, 6), 0) << "no current profile";
        EXPECT_EQ(Send(drive, EventStatus(), 8).data[5], (trayOpen ? 0x01 : 0x00) | (disc ? 0x02 : 0x00))
            << "door open / media present";
    }
}

// The UNIT ATTENTION after insertion is reported once, but never to INQUIRY or the status commands;
// the media event is reported once too, and nothing for other classes.
TEST(MediumChange, UnitAttentionAndEventStatusReportTheNewMediumOnce)
{
    EmulatedDrive drive;
    drive.Insert(AudioDisc());
    const Reply first = Send(drive, EventStatus(), 8);
    ASSERT_EQ(first.Status(), Good);
    // Length 6, media class, supported classes, new media, media present and door closed.
    EXPECT_EQ(first.data, (std::vector<std::uint8_t>{0, 6, 0x04, 0x10, 2, 0x02, 0, 0}));
    EXPECT_EQ(Send(drive, EventStatus(), 8).data[4], 0) << "reported once";
    const Reply other = Send(drive, EventStatus(0x02), 8); // operational change class only
    EXPECT_EQ(other.data[2], 0x80) << "no event available";
    EXPECT_EQ(other.Transferred(), 4u);
    EXPECT_EQ(Send(drive, Inquiry(), 36).Status(), Good);
    EXPECT_EQ(Send(drive, ReadToc(false, 0), 804).Status(), "CHECK CONDITION 06/28/00");
    EXPECT_EQ(Send(drive, ReadToc(false, 0), 804).Status(), Good);
    ASSERT_EQ(Send(drive, StartStop(0x02)).Status(), Good);
    EXPECT_EQ(Send(drive, EventStatus(), 8).data[4], 3) << "media removal";
    // REQUEST SENSE reports it too, and clears it.
    EmulatedDrive fresh;
    fresh.Insert(AudioDisc());
    const Reply sense = Send(fresh, RequestSense, 18);
    EXPECT_EQ(std::make_tuple(sense.data[0], sense.data[2], sense.data[12]),
              std::make_tuple(0x70, 0x06, 0x28));
    EXPECT_EQ(Send(fresh, TestUnitReady).Status(), Good);
}

// Opening and closing the tray goes through the host's eject (OpticalDiskTray); a locked tray stays
// shut until the host unlocks it, and a removed disc leaves the closed tray empty.
TEST(Tray, StaysShutWhileLocked)
{
    auto drive = ReadyDrive(AudioDisc());
    ASSERT_EQ(Send(*drive, Cdb{0x1E, 0, 0, 0, 0x01, 0}).Status(), Good);
    EXPECT_EQ(Send(*drive, StartStop(0x02)).Status(), "CHECK CONDITION 05/53/02");
    EXPECT_EQ(drive->TrayState(), EmulatedDrive::Tray::Closed);
    ASSERT_EQ(Send(*drive, Cdb{0x1E, 0, 0, 0, 0x00, 0}).Status(), Good);
    ASSERT_EQ(Send(*drive, StartStop(0x02)).Status(), Good);
    EXPECT_EQ(drive->TrayState(), EmulatedDrive::Tray::Open);
    drive->Remove();
    ASSERT_EQ(Send(*drive, StartStop(0x03)).Status(), Good);
    EXPECT_EQ(Send(*drive, TestUnitReady).Status(), "CHECK CONDITION 02/3A/01");
    EXPECT_EQ(Send(*drive, StartStop(0x01)).Status(), "CHECK CONDITION 02/3A/01") << "nothing to spin up";
}

// --- Identity and capabilities ---

TEST(Identity, CapabilitiesPageSpeedsAtTheOffsetsDriveListsRead)
{
    DriveIdentity id;
    id.readMaximum = 7056;
    id.readCurrent = 1411;
    id.writeMaximum = 4234;
    id.writeCurrent = 706;
    EmulatedDrive drive(nullptr, id);
    const Reply r = Send(drive, ModeSense(0x2A, 30), 31);
    ASSERT_EQ(r.Status(), Good);
    const ConstBytes page = ConstBytes(r.data).subspan(8);
    EXPECT_EQ(page[0] & 0x3F, 0x2A);
    EXPECT_EQ(Be16(page, 8) / 176, 40);
    EXPECT_EQ(Be16(page, 14) / 176, 8);
    EXPECT_EQ(Be16(page, 18) / 176, 24);
    EXPECT_EQ(Be16(page, 20) / 176, 4);
    EXPECT_EQ(Be16(Send(drive, ModeSense(0x3F), 64).data, 0), 38) << "all pages: the one page";
    const Reply changeable = Send(drive, ModeSense(0x6A), 40);
    EXPECT_EQ(Be16(changeable.data, 8 + 8), 0) << "nothing changeable";
    // cdrdao and cd-paranoia stop when the speed they ask for is refused; any speed is taken.
    EXPECT_EQ(Send(drive, Cdb{0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}).Status(), Good);
}

// --- Answers, field by field ---

struct Field {
    std::size_t offset;
    std::uint32_t value;
    int width = 1;            // 1, 2 or 4 bytes, big-endian
    std::uint8_t mask = 0xFF; // of a one-byte field
};

struct AnswerCase {
    const char* name;
    std::shared_ptr<Disc> disc;
    Cdb cdb;
    std::size_t buffer;
    std::vector<Field> fields;
    std::string text; // found at textAt
    std::size_t textAt;
    std::size_t transferred; // 0: not checked
};

AnswerCase Answer(const char* name, std::shared_ptr<Disc> disc, Cdb cdb, std::size_t buffer,
                  std::vector<Field> fields, std::string text = {}, std::size_t textAt = 0,
                  std::size_t transferred = 0)
{
    return {name,   std::move(disc), std::move(cdb), buffer, std::move(fields), std::move(text),
            textAt, transferred};
}

void PrintTo(const AnswerCase& c, std::ostream* os)
{
    *os << c.name;
}

class Answers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(Answers, HoldTheFieldsOfTheDisc)
{
    const AnswerCase& c = GetParam();
    auto drive = ReadyDrive(c.disc);
    const Reply r = Send(*drive, c.cdb, c.buffer);
    ASSERT_EQ(r.Status(), Good);
    for (const Field& f : c.fields) {
        const std::uint32_t value = f.width == 1   ? r.data[f.offset] & f.mask
                                    : f.width == 2 ? Be16(r.data, f.offset)
                                                   : Be32(r.data, f.offset);
        EXPECT_EQ(value, f.value) << "offset " << f.offset;
    }
    EXPECT_EQ(std::string(r.data.begin() + c.textAt, r.data.begin() + c.textAt + c.text.size()), c.text);
    if (c.transferred == 0)
        return;
    // The answer is cut at the allocation length or the buffer; its header keeps the full length.
    EXPECT_EQ(r.Transferred(), c.transferred);
    for (std::size_t i = c.transferred; i < c.buffer; ++i)
        ASSERT_EQ(r.data[i], 0) << "byte " << i << " lies beyond the allocation length";
}

// The TOC, sessions, capacity, catalogue number and ISRCs the disc object reads are checked through it
// against other tools' readings (RealDiscsTest, ReadFactsTest); these are the answers it does not reach.
// TOC descriptors are 8 bytes from offset 4: control at +1, number at +2, address at +4.
INSTANTIATE_TEST_SUITE_P(
    Commands, Answers,
    ::testing::Values(
        Answer("Inquiry", AudioDisc(), Inquiry(96), 96, {{0, 0x05}, {1, 0x80}, {3, 2, 1, 0x0F}, {4, 31}},
               "TOLVANE VIRTUAL DRIVE   1.0 ", 8, 36),
        // 3 tracks + lead-out: 4 + 4 * 8 bytes.
        Answer("TocCutByAllocation", AudioDisc(), ReadToc(false, 0, 12), 804, {{0, 34, 2}}, {}, 0, 12),
        Answer("TocCutByBuffer", AudioDisc(), ReadToc(false, 0, 804), 20, {{0, 34, 2}}, {}, 0, 20),
        Answer("TocWhole", AudioDisc(), ReadToc(false, 0, 804), 804, {{0, 34, 2}}, {}, 0, 36),
        Answer("ConfigurationCut", AudioDisc(), GetConfiguration(0, 0, 8), 64, {{0, 4 + 40 + 12 + 8 + 4, 4}},
               {}, 0, 8),
        Answer("TocFromTrack2", AudioDisc(), ReadToc(false, 0, 804, 2), 804, {{0, 26, 2}, {6, 2}}),
        Answer("TocFromLeadOut", AudioDisc(), ReadToc(false, 0, 804, 0xAA), 804, {{0, 10, 2}, {6, 0xAA}}),
        // 2,500,150 frames: 555 minutes 35 seconds 25 frames; 555 modulo 256 is 43.
        Answer("TocOfDvdInMsf", DvdDisc(), ReadToc(true, 0, 804), 804, {{16, 0x002B2319, 4}}),
        // The valid bits are clear when there is no code.
        Answer("NoCatalogueNumber", MixedDisc(), ReadSubChannel(2), 25, {{8, 0, 1, 0x80}}),
        Answer("NoIsrc", AudioDisc(), ReadSubChannel(3, 2), 25,
               {{2, 20, 2}, {5, 0x30, 1, 0xF0}, {8, 0, 1, 0x80}}),
        // 00:02:16; an XA track is data mode 2.
        Answer("HeaderInMsf", MixedDisc(), ReadHeader(16, true), 8, {{0, 1}, {4, 0x0210, 4}}),
        Answer("HeaderOfXa", EnhancedDisc(), ReadHeader(41400, false), 8, {{0, 2}, {4, 41400, 4}}),
        // The invisible track of an open CD-R: blank, its next writable address past lead-out and lead-in.
        Answer("InvisibleTrack", DataCd(MediaKind::CdR, DiscStatus::Incomplete), ReadTrackInformation(1, 2),
               48, {{6, 0x40, 1, 0x40}, {7, 0x01, 1, 0x01}, {12, 5000 + 11400, 4}}),
        // RT 2: exactly the feature asked for (CD read), current.
        Answer("OneFeature", AudioDisc(), GetConfiguration(2, 0x001E), 64,
               {{0, 4 + 8, 4}, {8, 0x001E, 2}, {10, 0x01, 1, 0x01}})),
    ByName);

// Blocks read. Q of block 19900 in track 2's pregap, read as wider fields: control pre-emphasis and
// ADR 1, track 2, index 0, 100 frames (00:01:25) to INDEX 01, a zero, disc time 04:27:25 (20050
// frames). 41400 is source sector 150 (form 1), 41401 sector 151 (form 2): the user data follows
// the sub-header.
INSTANTIATE_TEST_SUITE_P(
    Reads, Answers,
    ::testing::Values(Answer("FormattedQ", AudioDisc(), ReadCd(19900, 1, 1, 0xF8, 0x02), 2368,
                             {{2352, 0x11020000, 4}, {2356, 0x01250004, 4}, {2360, 0x2725, 2}}),
                      Answer("XaForm1UserData", EnhancedDisc(), ReadCd(41400, 1, 4, 0x10), 2352, {}, {}, 0,
                             2048),
                      Answer("XaForm2UserData", EnhancedDisc(), ReadCd(41401, 1, 5, 0x10), 2352,
                             {{0, 151 + 8}}, {}, 0, 2328),
                      Answer("Read10OfXaForm1", EnhancedDisc(), Read10(41402, 1), 2048, {{0, 152 + 8}}),
                      Answer("Read10UpToTheLastBlock", DvdDisc(), Read10(2499998, 2), 4096,
                             {{0, Mode1Byte(2499998, 0)},
                              {2048 + 97, Mode1Byte(2499999, 97)},
                              {4095, Mode1Byte(2499999, 2047)}}),
                      Answer("Read10OfNoBlocks", DvdDisc(), Read10(100, 0), 0, {})),
    ByName);

// The ATIP of a recordable CD: the disc type bit tells a rewritable one; lead-in 97:27:00, lead-out 79:59:74.
std::vector<Field> AtipFields(bool rewritable)
{
    return {
        {0, 26, 2}, {6, rewritable ? 0xC0u : 0x80u, 1, 0xC0}, {8, 97}, {9, 27}, {10, 0}, {12, 79}, {13, 59},
        {14, 74}};
}

INSTANTIATE_TEST_SUITE_P(Atip, Answers,
                         ::testing::Values(Answer("CdR", DataCd(MediaKind::CdR), ReadToc(false, 4, 28), 28,
                                                  AtipFields(false)),
                                           Answer("BlankCdRw", BlankCd(MediaKind::BlankCdRw),
                                                  ReadToc(false, 4, 28), 28, AtipFields(true))),
                         ByName);

// Track information: number, session, track mode, data mode, start and size.
std::vector<Field> TrackFields(std::uint8_t number, std::uint8_t session, std::uint8_t trackMode,
                               std::uint8_t dataMode, std::uint32_t start, std::uint32_t size)
{
    return {{0, 46, 2},    {2, number},  {3, session}, {5, trackMode, 1, 0x0F}, {6, dataMode, 1, 0x0F},
            {8, start, 4}, {24, size, 4}};
}

INSTANTIATE_TEST_SUITE_P(TrackInformation, Answers,
                         ::testing::Values(Answer("MixedAudio", MixedDisc(), ReadTrackInformation(1, 2), 28,
                                                  TrackFields(2, 1, 0x0, 0, 10150, 9850)),
                                           Answer("ByBlock", AudioDisc(), ReadTrackInformation(0, 36000), 28,
                                                  TrackFields(3, 1, 0x8, 0, 35000, 15000)),
                                           Answer("FirstOfSessionTwo", EnhancedDisc(),
                                                  ReadTrackInformation(2, 2), 28,
                                                  TrackFields(3, 2, 0x4, 2, 41400, 8600)),
                                           Answer("Dvd", DvdDisc(), ReadTrackInformation(1, 1), 28,
                                                  TrackFields(1, 1, 0x4, 1, 0, 2500000))),
                         ByName);

// Disc information: status byte, first track, sessions, first and last track of the last session, disc
// type, the last session's lead-in and the last possible lead-out (79:59:74 on an open recordable CD).
std::vector<Field> DiscFields(std::uint8_t byte2, std::uint8_t sessions, std::uint8_t firstInLast,
                              std::uint8_t lastInLast, std::uint8_t discType, std::uint32_t leadIn)
{
    const std::uint32_t lastLeadOut = leadIn == ~0u ? ~0u : 0x004F3B4A;
    return {{0, 32, 2},      {2, byte2},    {3, 1},          {4, sessions},       {5, firstInLast},
            {6, lastInLast}, {8, discType}, {16, leadIn, 4}, {20, lastLeadOut, 4}};
}

INSTANTIATE_TEST_SUITE_P(
    DiscInformation, Answers,
    ::testing::Values(
        Answer("Enhanced", EnhancedDisc(), ReadDiscInformation, 34, DiscFields(0x0E, 2, 3, 3, 0x20, ~0u)),
        Answer("BlankCdRw", BlankCd(MediaKind::BlankCdRw), ReadDiscInformation, 34,
               DiscFields(0x10, 1, 1, 1, 0, 0x00611B00)),
        // Appendable: the empty second session; its lead-in at 5000 + 6750 (11900 frames, 02:38:50).
        Answer("OpenCdR", DataCd(MediaKind::CdR, DiscStatus::Incomplete), ReadDiscInformation, 34,
               DiscFields(0x01, 2, 2, 2, 0, 0x00022632)),
        Answer("DvdRam", DvdDisc(MediaKind::DvdRam, 1), ReadDiscInformation, 34,
               DiscFields(0x1F, 1, 1, 1, 0, ~0u))),
    ByName);

// --- The full TOC ---

using FullToc = std::map<std::pair<int, int>, std::vector<std::uint8_t>>; // (session, point) -> 11 bytes

FullToc ParseFullToc(const Reply& r)
{
    FullToc out;
    const std::size_t end = 2 + Be16(r.data, 0);
    for (std::size_t off = 4; off + 11 <= end; off += 11) {
        out[{r.data[off], r.data[off + 3]}] =
            std::vector<std::uint8_t>(r.data.begin() + off, r.data.begin() + off + 11);
    }
    return out;
}

// The track points and lead-outs are read through the disc object (ReadFactsTest's Enhanced CD); these
// are the points it does not use. B0 of session 1 points past its lead-out and lead-in; the closed
// last session has none, and a pressed disc has no C0. An open CD-R has both.
TEST(ReadToc, FullTocHasB0WhileTheDiscIsOpenToAnotherSessionAndC0OnRecordableDiscs)
{
    const Reply r = Send(*ReadyDrive(EnhancedDisc()), ReadToc(true, 2), 2048);
    ASSERT_EQ(r.Status(), Good);
    EXPECT_EQ(std::make_tuple(r.data[2], r.data[3]), std::make_tuple(1, 2)) << "sessions";
    const FullToc enhanced = ParseFullToc(r);
    EXPECT_EQ(enhanced.size(), 10u);
    ASSERT_TRUE(enhanced.contains({1, 0xB0}));
    // Next program area at 41250 + 150 frames, 09:12:00; the last possible lead-out 79:59:74.
    const std::vector<std::uint8_t>& b0 = enhanced.at({1, 0xB0});
    EXPECT_EQ(std::make_tuple(b0[1], b0[4], b0[5], b0[6]), std::make_tuple(0x50, 9, 12, 0));
    EXPECT_EQ(std::make_tuple(b0[8], b0[9], b0[10]), std::make_tuple(79, 59, 74));
    EXPECT_EQ(enhanced.at({2, 0xA0})[9], 0x20) << "session 2 is CD-ROM XA";
    EXPECT_FALSE(enhanced.contains({2, 0xB0}));

    const FullToc open = ParseFullToc(
        Send(*ReadyDrive(DataCd(MediaKind::CdR, DiscStatus::Incomplete)), ReadToc(false, 2), 2048));
    ASSERT_TRUE(open.contains({1, 0xB0}));
    ASSERT_TRUE(open.contains({1, 0xC0}));
    const std::vector<std::uint8_t>& openB0 = open.at({1, 0xB0});
    // Next program area: lead-out 5000 + 6750 + 4500, 16400 frames = 03:38:50.
    EXPECT_EQ(std::make_tuple(openB0[4], openB0[5], openB0[6], openB0[7]), std::make_tuple(3, 38, 50, 2))
        << "and 2 pointers, B0 and C0";
    EXPECT_EQ(open.at({1, 0xC0})[8], 97) << "ATIP lead-in start minute";
}

// --- The position in the sub-channel ---

TEST(ReadSubChannel, CurrentPositionIsTheLastBlockRead)
{
    auto drive = ReadyDrive(AudioDisc());
    ASSERT_EQ(Send(*drive, ReadCd(19900, 1, 1), 2352).Status(), Good);
    const Reply pregap = Send(*drive, ReadSubChannel(1), 16);
    EXPECT_EQ(pregap.data[6], 2) << "track";
    EXPECT_EQ(pregap.data[7], 0) << "index 0: the pregap";
    EXPECT_EQ(Be32(pregap.data, 8), 19900u);
    ASSERT_EQ(Send(*drive, ReadCd(21100, 1, 1), 2352).Status(), Good);
    const Reply body = Send(*drive, ReadSubChannel(1), 16);
    EXPECT_EQ(body.data[7], 2) << "after INDEX 02";
    EXPECT_EQ(Be32(body.data, 12), 1100u) << "relative to INDEX 01";
    const Reply noQ = Send(*drive, Cdb10(0x42, 0, 1u << 16, 0, 16), 16);
    EXPECT_EQ(noQ.Transferred(), 4u) << "SubQ clear: the header only";
}

// --- DVD structures and profiles ---

TEST(DvdMedia, PhysicalFormatAndProfileOfEachKind)
{
    const struct {
        const char* name;
        MediaKind kind;
        std::uint8_t layers;
        std::uint8_t bookType; // and part version
        std::uint16_t profile;
    } cases[] = {
        {"DVD-ROM dual", MediaKind::DvdRom, 2, 0x01, 0x10},
        {"DVD-ROM single", MediaKind::DvdRom, 1, 0x01, 0x10},
        {"DVD-RAM", MediaKind::DvdRam, 1, 0x16, 0x12},
        {"DVD-R", MediaKind::DvdR, 1, 0x25, 0x11},
        {"DVD-RW", MediaKind::DvdRw, 1, 0x32, 0x14},
        {"DVD+RW", MediaKind::DvdPlusRw, 1, 0x92, 0x1A},
        {"DVD+R", MediaKind::DvdPlusR, 2, 0xA1, 0x1B},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto drive = ReadyDrive(DvdDisc(c.kind, c.layers));
        const Reply pf = Send(*drive, ReadDiscStructure(0), 2053);
        ASSERT_EQ(pf.Status(), Good);
        EXPECT_EQ(Be16(pf.data, 0), 2050);
        const ConstBytes s = ConstBytes(pf.data).subspan(4);
        EXPECT_EQ(s[0], c.bookType) << "book type and part version";
        EXPECT_EQ(((s[2] >> 5) & 0x03) + 1, c.layers);
        EXPECT_EQ(Be32(s, 4), 0x30000u);
        if (c.layers == 1) {
            EXPECT_EQ(Be32(s, 8), 0x30000u + 2500000u - 1);
        } else {
            // Opposite track path: layer 1 starts at the complement of layer 0's end.
            const std::uint32_t layer0End = Be32(s, 12);
            const std::uint32_t layer0 = layer0End - 0x30000 + 1;
            EXPECT_EQ(layer0 % 16, 0u);
            EXPECT_EQ(Be32(s, 8) - (~layer0End & 0xFFFFFF) + 1 + layer0, 2500000u);
        }
        EXPECT_EQ(Be16(Send(*drive, GetConfiguration(), 64).data, 6), c.profile);
    }
}

// The current profile of each CD; feature 0 lists the profiles and flags the current one.
TEST(GetConfiguration, CurrentProfileOfCdsIsFlaggedInTheProfileList)
{
    const std::vector<std::pair<std::shared_ptr<Disc>, std::uint16_t>> cases{
        {AudioDisc(), 0x08}, {DataCd(MediaKind::CdRw), 0x0A}, {BlankCd(MediaKind::BlankCdR), 0x09}};
    for (const auto& [disc, profile] : cases) {
        const Reply r = Send(*ReadyDrive(disc), GetConfiguration(), 256);
        EXPECT_EQ(Be16(r.data, 6), profile);
        ASSERT_EQ(Be16(r.data, 8), 0x0000);
        std::vector<std::uint16_t> flagged;
        for (std::size_t off = 12; off < 12u + r.data[11]; off += 4) {
            if (r.data[off + 2] & 0x01)
                flagged.push_back(Be16(r.data, off));
        }
        EXPECT_EQ(flagged, std::vector<std::uint16_t>{profile});
    }
}

// --- Reading sectors ---

// Each selection read as 27 blocks at once equals the 27 blocks read one by one.
TEST(ReadCd, TwentySevenBlocksEqualTwentySevenSingleReads)
{
    const struct {
        const char* name;
        std::shared_ptr<Disc> (*disc)();
        std::int32_t lba;
        std::uint8_t expected, main, sub;
        std::size_t blockSize;
    } cases[] = {
        {"audio with Q", AudioDisc, 19990, 0, 0x10, 0x02, 2368},
        {"audio with C2", AudioDisc, 100, 1, 0xFC, 0, 2648},
        {"Mode 1 raw", MixedDisc, 0, 2, 0xF8, 0, 2352},
        {"Mode 1 user data", MixedDisc, 9000, 2, 0x10, 0, 2048},
        {"Mode 1 header and data", MixedDisc, 9000, 0, 0x30, 0, 2052},
        {"data into the audio pregap", MixedDisc, 9990, 0, 0xF8, 0, 2352},
        // Both forms: sub-header, user data and EDC/ECC.
        {"XA with sub-headers", EnhancedDisc, 41400, 0, 0x58, 0, 2336},
    };
    constexpr std::uint32_t Blocks = 27;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto drive = ReadyDrive(c.disc());
        const Reply burst =
            Send(*drive, ReadCd(c.lba, Blocks, c.expected, c.main, c.sub), Blocks * c.blockSize);
        ASSERT_EQ(burst.Status(), Good);
        EXPECT_EQ(burst.result.residual, 0);
        for (std::uint32_t k = 0; k < Blocks; ++k) {
            const auto lba = c.lba + static_cast<std::int32_t>(k);
            const Reply single = Send(*drive, ReadCd(lba, 1, c.expected, c.main, c.sub), c.blockSize);
            ASSERT_EQ(single.Status(), Good);
            ASSERT_EQ(single.result.residual, 0) << "block size";
            ASSERT_TRUE(
                std::equal(single.data.begin(), single.data.end(), burst.data.begin() + k * c.blockSize))
                << "block " << k;
        }
    }
}

// The fields of the formatted Q are in the answer table (FormattedQ).
TEST(ReadCd, FormattedQHasItsCrcAndRawPwCarriesTheSameQ)
{
    auto drive = ReadyDrive(AudioDisc());
    const Reply r = Send(*drive, ReadCd(19900, 1, 1, 0xF8, 0x02), 2368);
    ASSERT_EQ(r.Status(), Good);
    const ConstBytes q = ConstBytes(r.data).subspan(2352);
    // The CRC, checked as a reader does: the remainder over all 12 bytes, inverted CRC included.
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < 12; ++i) {
        crc ^= static_cast<std::uint16_t>((i < 10 ? q[i] : static_cast<std::uint8_t>(~q[i])) << 8);
        for (int b = 0; b < 8; ++b)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    EXPECT_EQ(crc, 0);

    // Raw P-W carries the same Q, CRC included, one bit per byte (bit 6), and P (bit 7)
    // in the pause before track 2; R-W are empty. cdrdao reads a drive's Q this way only.
    for (const std::int32_t lba : {19900, 20100}) {
        const Reply q16 = Send(*drive, ReadCd(lba, 1, 1, 0xF8, 0x02), 2368);
        const Reply raw = Send(*drive, ReadCd(lba, 2, 1, 0xF8, 0x01), 2 * 2448);
        ASSERT_EQ(raw.Status(), Good);
        std::array<std::uint8_t, 12> fromRaw{};
        for (std::size_t i = 0; i < 96; ++i) {
            const std::uint8_t b = raw.data[2352 + i];
            EXPECT_EQ(b & 0xBF, lba < 20000 ? 0x80 : 0x00) << "P, and no R-W, at " << lba;
            fromRaw[i / 8] = static_cast<std::uint8_t>(fromRaw[i / 8] | ((b >> 6) & 1) << (7 - i % 8));
        }
        EXPECT_TRUE(std::equal(fromRaw.begin(), fromRaw.end(), q16.data.begin() + 2352)) << lba;
        EXPECT_FALSE(
            std::equal(raw.data.begin() + 2352, raw.data.begin() + 2448, raw.data.begin() + 2448 + 2352))
            << "the second block has its own Q";
    }
    const Reply rw = Send(*drive, ReadCd(0, 1, 1, 0xF8, 0x04), 2448);
    ASSERT_EQ(rw.Status(), Good);
    EXPECT_TRUE(std::all_of(rw.data.begin() + 2352, rw.data.end(), [](std::uint8_t b) { return b == 0; }));

    // The largest block, C2 with its block error byte and raw P-W, into a buffer too short for it.
    const Reply whole = Send(*drive, ReadCd(19900, 1, 1, 0xFC, 0x01), 2352 + 296 + 96);
    const Reply cut = Send(*drive, ReadCd(19900, 1, 1, 0xFC, 0x01), 2352 + 296);
    ASSERT_EQ(whole.Status(), Good);
    ASSERT_EQ(cut.Status(), Good);
    EXPECT_TRUE(std::equal(cut.data.begin(), cut.data.end(), whole.data.begin()));
}

// A pressed disc's Q gives its codes in place of a position now and then: the catalogue number at
// blocks 25 mod 100 and a track's ISRC at 75 mod 100 of its audio after INDEX 01, each with its
// control nibble, the absolute frame and the CRC. Worked out by hand from the Red Book's layout:
// USXYZ9912345 is U S X Y Z in the 6-bit code (ASCII less 0x30: 25 23 28 29 2A), packed with two
// zero bits as 96 3A 29 A8, then 9912345 in BCD and four zero bits.
TEST(ReadCd, FormattedQCarriesTheCatalogueNumberAndTheIsrcInTheirSlots)
{
    auto drive = ReadyDrive(AudioDisc());
    const auto q = [&](std::int32_t lba) {
        const Reply r = Send(*drive, ReadCd(lba, 1, 0, 0x00, 0x02), 16); // Q alone
        EXPECT_EQ(r.Status(), Good) << lba;
        return std::vector<std::uint8_t>(r.data.begin(), r.data.begin() + 12);
    };
    // Track 1 (copy permitted): ISRC at 75 (disc time 00:03:00, frame 0), the number at 25 (frame 25).
    EXPECT_EQ(q(75), test::Hex("23 96 3A 29 A8 99 12 34 50 00 D0 EA"));
    EXPECT_EQ(q(25), test::Hex("22 00 00 01 21 01 95 40 00 25 69 50"));
    EXPECT_EQ(q(175)[0], 0x23);
    EXPECT_EQ(q(74)[0], 0x21) << "a position next to it";
    // Track 2 (pre-emphasis) has no ISRC: a position at its slot (track 2, index 1, 1 s after
    // INDEX 01, disc time 04:29:50); the number also comes in its pause.
    const auto position = q(20075);
    EXPECT_EQ(std::vector(position.begin(), position.begin() + 10),
              test::Hex("11 02 01 00 01 00 00 04 29 50"));
    const auto pause = q(19925);
    EXPECT_EQ(std::vector(pause.begin(), pause.begin() + 10), test::Hex("12 00 00 01 21 01 95 40 00 50"));
    // A disc without a catalogue number has positions there.
    auto mixed = ReadyDrive(MixedDisc());
    const Reply r = Send(*mixed, ReadCd(10025, 1, 0, 0x00, 0x02), 16);
    EXPECT_EQ(r.data[0], 0x01);
    EXPECT_EQ(r.data[1], 0x02);
}

// libcdio's Mode 1 image, served as its raw blocks or rebuilt from their user data alone (sync,
// header, EDC and ECC generated): READ CD gives the image's blocks, the main field selects their
// parts, and READ(10) takes their user data.
TEST(ReadCd, DataBlocksEqualAnImageOtherToolsMadeWhetherServedRawOrRebuilt)
{
    const std::string path = test::TestDataPath("libcdio/isofs-m1.bin");
    std::string error;
    const auto raw = FileSource::Open(path, 0, 2352, false, error);
    ASSERT_NE(raw, nullptr) << error;
    const auto user = FileSource::Open(path, 16, 2352, false, error); // 2,048 bytes of each block
    ASSERT_NE(user, nullptr) << error;
    for (const auto& [format, source] :
         {std::pair{SectorFormat::Raw, raw}, std::pair{SectorFormat::Mode1Data, user}}) {
        auto disc = std::make_shared<Disc>();
        disc->sessions = {Session{1, 302, 0x00}};
        disc->tracks = {Track{1, 1, TrackMode::Mode1, 0, 0, 0, {}, 302, ""}};
        disc->capacity = 302;
        disc->extents = {Extent{0, 302, format, source, 0}};
        auto drive = ReadyDrive(disc);
        std::vector<std::uint8_t> expected(2352);
        for (const std::int32_t lba : {0, 16, 301}) {
            SCOPED_TRACE((format == SectorFormat::Raw ? "raw block " : "rebuilt block ") +
                         std::to_string(lba));
            ASSERT_TRUE(raw->Read(lba, expected));
            const Reply whole = Send(*drive, ReadCd(lba, 1, 2), 2352);
            ASSERT_EQ(whole.Status(), Good);
            EXPECT_EQ(whole.data, expected);
            const Reply only = Send(*drive, ReadCd(lba, 1, 2, 0x10), 2352);
            EXPECT_EQ(only.Transferred(), 2048u);
            EXPECT_TRUE(std::equal(only.data.begin(), only.data.begin() + 2048, expected.begin() + 16));
            EXPECT_EQ(Send(*drive, ReadCd(lba, 1, 2, 0x00), 2352).Transferred(), 0u) << "no field selected";
            const Reply read10 = Send(*drive, Read10(lba, 1), 2048);
            ASSERT_EQ(read10.Status(), Good);
            EXPECT_TRUE(std::equal(read10.data.begin(), read10.data.end(), expected.begin() + 16));
        }
    }
}

// --- Faults ---

// Blocks 120 and 121 are bad: a read touching either fails as a whole, naming a bad block.
TEST(Faults, AnyReadTouchingABadBlockFailsAsAWholeAndCorruptBytesReachRead10)
{
    auto drive = ReadyDrive(MixedDisc());
    drive->FailReadsAt(120, 2);
    const std::vector<std::pair<Cdb, bool>> reads{
        {ReadCd(100, 27), false}, {ReadCd(94, 27), false}, {ReadCd(93, 27), true}, {ReadCd(122, 27), true},
        {ReadCd(121, 1), false},  {Read10(119, 2), false}, {Read10(122, 2), true}};
    for (const auto& [cdb, good] : reads) {
        SCOPED_TRACE("opcode " + std::to_string(cdb[0]) + " from " + std::to_string(Be32(cdb, 2)));
        const std::size_t size = cdb[0] == 0x28 ? 4096 : Be24(cdb, 6) * 2352;
        const Reply r = Send(*drive, cdb, size);
        EXPECT_EQ(r.Status(), good ? Good : "CHECK CONDITION 03/11/00");
        if (good)
            continue;
        EXPECT_EQ(r.result.sense[0] & 0x80, 0x80) << "information field valid";
        EXPECT_TRUE(Be32(r.result.sense, 3) == 120 || Be32(r.result.sense, 3) == 121);
        EXPECT_EQ(r.result.residual, static_cast<std::int32_t>(size));
    }
    // READ(10) gets the corrupted bytes too (READ CD's are in ReadCdRuns); clearing ends every fault.
    drive->CorruptAt(50, 7, 0xFF);
    EXPECT_EQ(Send(*drive, Read10(50, 1), 2048).data[7], static_cast<std::uint8_t>(Mode1Byte(50, 7) ^ 0xFF));
    drive->ClearFaults();
    EXPECT_EQ(Send(*drive, Read10(119, 2), 4096).Status(), Good);
    EXPECT_EQ(Send(*drive, Read10(50, 1), 2048).data[7], Mode1Byte(50, 7));
}

// --- The read model: offset, overread, C2, cache, damage ---

// The disc's audio bytes of blocks [from, from + count) as an ideal drive gives them.
std::vector<std::uint8_t> DiscBytes(std::int32_t from, std::int32_t count)
{
    std::vector<std::uint8_t> out(static_cast<std::size_t>(count) * 2352);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::int64_t at = std::int64_t{from} * 2352 + static_cast<std::int64_t>(i);
        out[i] = at < 0 || at >= 50000 * 2352 ? 0 : AddressPatternSource::ByteAt(at / 2352, at % 2352);
    }
    return out;
}

TEST(ReadModel, TheOffsetShiftsSamplesAndOverreadReachesPastTheDiscsEnds)
{
    for (const int offset : {6, 667, -1164}) {
        SCOPED_TRACE("offset " + std::to_string(offset));
        auto drive = ReadyDrive(AudioDisc());
        ReadModel model;
        model.offset = offset;
        drive->SetReadModel(model);
        // Asked for block b, the drive gives the samples from b * 588 - offset on.
        const Reply middle = Send(*drive, ReadCd(19849, 3, 1, 0x10), 3 * 2352);
        ASSERT_EQ(middle.Status(), Good);
        const auto shifted = DiscBytes(19849 - 3, 9);
        const auto start = static_cast<std::ptrdiff_t>(3 * 2352 - offset * 4);
        EXPECT_TRUE(std::equal(middle.data.begin(), middle.data.end(), shifted.begin() + start));

        // The blocks the offset needs beyond the disc: refused, then read as silence plus the
        // disc's own samples once the drive overreads.
        const std::int32_t outside = offset > 0 ? 50000 : -2;
        EXPECT_EQ(Send(*drive, ReadCd(outside, 2, 1, 0x10), 2 * 2352).Status(), "CHECK CONDITION 05/21/00");
        model.overread = true;
        drive->SetReadModel(model);
        const Reply over = Send(*drive, ReadCd(outside, 2, 1, 0x10), 2 * 2352);
        ASSERT_EQ(over.Status(), Good);
        const auto expected = DiscBytes(outside - 3, 8);
        EXPECT_TRUE(std::equal(over.data.begin(), over.data.end(), expected.begin() + start));
        EXPECT_EQ(Send(*drive, ReadCd(50000 + 150, 1, 1, 0x10), 2352).Status(), "CHECK CONDITION 05/21/00");
    }
}

TEST(ReadModel, DamagedBytesAreFlaggedByC2AndTheCacheRepeatsTheLastAnswer)
{
    auto drive = ReadyDrive(AudioDisc());
    ReadModel model;
    model.cacheSectors = 100;
    drive->SetReadModel(model);
    Damage always;
    always.readsRight = 0;
    drive->DamageAt(1000, 1, always, 7);
    // One C2 bit per wrong byte, the first byte's the top bit of the first C2 byte; the 296-byte
    // field leads with the OR of the bits.
    const Reply read = Send(*drive, ReadCd(1000, 1, 1, 0x10 | 0x02), 2352 + 294);
    ASSERT_EQ(read.Status(), Good);
    const auto right = DiscBytes(1000, 1);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < 2352; ++i) {
        const bool differs = read.data[i] != right[i];
        const bool flag = (read.data[2352 + i / 8] >> (7 - i % 8) & 1) != 0;
        EXPECT_EQ(differs, flag) << "byte " << i;
        wrong += differs ? 1 : 0;
    }
    EXPECT_GT(wrong, 0u);
    const Reply withBlockError = Send(*drive, ReadCd(1000, 1, 1, 0x10 | 0x04), 2352 + 296);
    EXPECT_NE(withBlockError.data[2352], 0);
    EXPECT_TRUE(std::equal(read.data.begin() + 2352, read.data.end(), withBlockError.data.begin() + 2352 + 2));

    // A block that reads right half the time: read again at once, the cache answers with the same
    // bytes and no disc time; after a read far away each read is a new try.
    Damage half;
    half.flagged = false;
    drive->DamageAt(2000, 1, half, 3);
    const Reply first = Send(*drive, ReadCd(2000, 1, 1, 0x10), 2352);
    const std::uint64_t sectors = drive->SectorCount();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Send(*drive, ReadCd(2000, 1, 1, 0x10), 2352).data, first.data);
    EXPECT_EQ(drive->SectorCount(), sectors);
    std::set<std::vector<std::uint8_t>> answers;
    int rightOnes = 0;
    for (int i = 0; i < 40; ++i) {
        Send(*drive, ReadCd(30000, 1, 1, 0x10), 2352);
        const auto again = Send(*drive, ReadCd(2000, 1, 1, 0x10), 2352).data;
        answers.insert(again);
        rightOnes += again == DiscBytes(2000, 1) ? 1 : 0;
    }
    EXPECT_GT(rightOnes, 5);
    EXPECT_LT(rightOnes, 35);
    EXPECT_GT(answers.size(), 3u) << "wrong reads vary";

    // The same damage with the same seed reads the same way on another drive: tests repeat.
    auto twin = ReadyDrive(AudioDisc());
    twin->SetReadModel(model);
    twin->DamageAt(2000, 1, half, 3);
    EXPECT_EQ(Send(*twin, ReadCd(2000, 1, 1, 0x10), 2352).data, first.data);

    // Damage that fails: a MEDIUM ERROR naming the block, sometimes.
    Damage failing;
    failing.fails = true;
    drive->DamageAt(3000, 1, failing, 5);
    int failures = 0;
    for (int i = 0; i < 20; ++i) {
        Send(*drive, ReadCd(30000, 1, 1, 0x10), 2352);
        const Reply r = Send(*drive, ReadCd(2990, 27, 1, 0x10), 27 * 2352);
        if (r.Status() != Good) {
            EXPECT_EQ(r.Status(), "CHECK CONDITION 03/11/00");
            EXPECT_EQ(Be32(r.result.sense, 3), 3000u);
            ++failures;
        }
    }
    EXPECT_GT(failures, 0);
    EXPECT_LT(failures, 20);
}

TEST(ReadModel, ADriveWithoutC2RefusesTheFieldAndSaysSo)
{
    auto drive = ReadyDrive(AudioDisc());
    EXPECT_EQ(Send(*drive, ModeSense(0x2A), 40).data[8 + 5] & 0x10, 0x10);
    ReadModel model;
    model.c2 = false;
    drive->SetReadModel(model);
    EXPECT_EQ(Send(*drive, ReadCd(0, 1, 1, 0x10 | 0x02), 2352 + 294).Status(), "CHECK CONDITION 05/24/00");
    EXPECT_EQ(Send(*drive, ReadCd(0, 1, 1, 0x10), 2352).Status(), Good);
    EXPECT_EQ(Send(*drive, ModeSense(0x2A), 40).data[8 + 5] & 0x10, 0);
}

// --- Timing and statistics ---

} // namespace
} // namespace tolvane::emulator
