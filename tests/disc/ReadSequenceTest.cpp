// Every command block and buffer Read sends, in order, against golden/read-sequence.txt.
#include "disc/DiscFacts.h"

#include "emulator/DemoDiscs.h"
#include "support/TestData.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tolvane {
namespace {

std::string SequenceOf(const char* name, std::shared_ptr<const emulator::Disc> disc)
{
    test::FakeRig rig(std::move(disc));
    std::string out = std::string("# ") + name + "\n";
    rig.intercept = [&](ConstBytes cdb, Bytes data) -> std::optional<ScsiResult> {
        const ScsiResult r = rig.drive->Execute(cdb, data);
        char byte[4];
        for (const std::uint8_t b : cdb) {
            std::snprintf(byte, sizeof byte, "%02X ", b);
            out += byte;
        }
        out += "| " + std::to_string(data.size()) + " | " + r.Describe() + "\n";
        return r;
    };
    EXPECT_TRUE(rig.disc.Read()) << name << ": " << rig.disc.ErrorMessage();
    return out;
}

TEST(ReadSequence, EveryCommandAndBufferInOrderAsTheGoldenListing)
{
    using emulator::TrackMode;
    std::ifstream in(test::SourcePath("tests/disc/golden/read-sequence.txt"));
    std::stringstream golden;
    golden << in.rdbuf();
    // Two audio tracks with pregaps; a Mode 1 data CD with a volume descriptor; an audio
    // session, then a data session (the full TOC follows the session information); a DVD; no disc.
    const std::string actual =
        SequenceOf("audio CD: libcdio/p1.cue", test::LoadTestImage("libcdio/p1.cue")) +
        SequenceOf("data CD: libcdio/isofs-m1.cue", test::LoadTestImage("libcdio/isofs-m1.cue")) +
        SequenceOf("Enhanced CD", test::BuildCd({{1, TrackMode::Audio, 0}, {2, TrackMode::Audio, 4500},
                                                 {3, TrackMode::Mode1, 20400, 0x4, 2}},
                                                {{1, 9000, 0x20}, {2, 30000, 0x20}})) +
        SequenceOf("DVD: the demo DVD", emulator::MakeDemoDvd()) + SequenceOf("empty drive", nullptr);
    EXPECT_EQ(actual, golden.str());
}

} // namespace
} // namespace tolvane
