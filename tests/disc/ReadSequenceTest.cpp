// Every command block Read sends, with the buffer it hands the transport, in order, for
// one disc of each kind: compared with golden/read-sequence.txt, which was checked line by
// line against the documented order and buffer sizes of a read. Any drift in a size, a
// field or the order shows up here.
#include "disc/DiscFacts.h"

#include "emulator/DemoDiscs.h"
#include "support/TestData.h"
#include "support/VirtualRig.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tolvane {
namespace {

using emulator::Session;
using emulator::TrackMode;

std::string Line(ConstBytes cdb, std::size_t buffer, const ScsiResult& r)
{
    std::string line;
    char byte[4];
    for (const std::uint8_t b : cdb) {
        std::snprintf(byte, sizeof byte, "%02X ", b);
        line += byte;
    }
    return line + "| " + std::to_string(buffer) + " | " + r.Describe();
}

std::string SequenceOf(const char* name, std::shared_ptr<const emulator::Disc> disc)
{
    test::FakeRig rig(std::move(disc));
    std::string out = std::string("# ") + name + "\n";
    rig.intercept = [&](ConstBytes cdb, Bytes data) -> std::optional<ScsiResult> {
        const ScsiResult r = rig.drive->Execute(cdb, data);
        out += Line(cdb, data.size(), r) + "\n";
        return r;
    };
    EXPECT_TRUE(rig.disc.Read()) << name << ": " << rig.disc.ErrorMessage();
    return out;
}

std::string Golden()
{
    const auto path = test::SourcePath("tests/disc/golden/read-sequence.txt");
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ReadSequence, EveryCommandAndBufferInOrderAsTheGoldenListing)
{
    std::string actual;
    // Two audio tracks with pregaps.
    actual += SequenceOf("audio CD: libcdio/p1.cue", test::LoadTestImage("libcdio/p1.cue"));
    // A Mode 1 data CD with a volume descriptor.
    actual += SequenceOf("data CD: libcdio/isofs-m1.cue", test::LoadTestImage("libcdio/isofs-m1.cue"));
    // Audio session, then a data session: the full TOC follows the session information.
    actual += SequenceOf("Enhanced CD",
                         test::BuildCd({{1, TrackMode::Audio, 0}, {2, TrackMode::Audio, 4500},
                                        {3, TrackMode::Mode1, 20400, 0x4, 2}},
                                       {Session{1, 9000, 0x20}, Session{2, 30000, 0x20}}));
    actual += SequenceOf("DVD: the demo DVD", emulator::MakeDemoDvd());
    actual += SequenceOf("empty drive", nullptr);
    EXPECT_EQ(actual, Golden());
}

} // namespace
} // namespace tolvane
