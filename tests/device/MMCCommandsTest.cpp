// The command blocks of the MMC command set, byte for byte, as they reach the drive
// over either interface.
#include "device/MMC.h"
#include "support/FakePlatform.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct CommandCase {
    std::string name;
    std::function<bool(MMC&, std::uint8_t*)> send;
    Bytes cdb;
    std::size_t dataLength;
};

std::string CaseName(const ::testing::TestParamInfo<std::tuple<CommandCase, const char*>>& info)
{
    return std::get<0>(info.param).name + "_" + std::get<1>(info.param);
}

// Large enough for the burst READ CD of 27 blocks.
constexpr std::size_t BufferSize = 27 * 2352;

const std::vector<CommandCase> CommandCases = {
    {"GetEventStatusNotification",
     [](MMC& m, std::uint8_t* b) { return m.GetEventStatusNotification(0x10, 8, b); },
     {0x4A, 0x01, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x08, 0x00},
     8},
    {"Inquiry36",
     [](MMC& m, std::uint8_t* b) { return m.Inquiry(36, b); },
     {0x12, 0x00, 0x00, 0x00, 0x24, 0x00},
     36},
    {"InquiryLongAllocation",
     [](MMC& m, std::uint8_t* b) { return m.Inquiry(0x0123, b); },
     {0x12, 0x00, 0x00, 0x01, 0x23, 0x00},
     0x0123},
    {"ModeSenseCapabilities",
     [](MMC& m, std::uint8_t* b) { return m.ModeSense(0x2A, 30, b); },
     {0x5A, 0x00, 0x2A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1E, 0x00},
     30},
    {"ReadBlock16",
     [](MMC& m, std::uint8_t* b) { return m.Read(16, 2048, b); },
     {0x28, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x01, 0x00},
     2048},
    {"ReadHighAddress",
     [](MMC& m, std::uint8_t* b) { return m.Read(0x12345678, 2048, b); },
     {0x28, 0x00, 0x12, 0x34, 0x56, 0x78, 0x00, 0x00, 0x01, 0x00},
     2048},
    {"ReadCapacity",
     [](MMC& m, std::uint8_t* b) { return m.ReadCapacity(8, b); },
     {0x25, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
     8},
    {"ReadCDBlock0",
     [](MMC& m, std::uint8_t* b) { return m.ReadCD(0, 2352, b); },
     {0xBE, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xF8, 0x00, 0x00},
     2352},
    {"ReadCDNegativeAddress",
     [](MMC& m, std::uint8_t* b) { return m.ReadCD(-150, 2352, b); },
     {0xBE, 0x04, 0xFF, 0xFF, 0xFF, 0x6A, 0x00, 0x00, 0x01, 0xF8, 0x00, 0x00},
     2352},
    {"ReadCDBurst27",
     [](MMC& m, std::uint8_t* b) { return m.ReadCD(1000, 27, 27 * 2352, b); },
     {0xBE, 0x04, 0x00, 0x00, 0x03, 0xE8, 0x00, 0x00, 0x1B, 0xF8, 0x00, 0x00},
     27 * 2352},
    {"ReadCDBurstLargestCount",
     [](MMC& m, std::uint8_t* b) { return m.ReadCD(0x01020304, 65535, 2352, b); },
     {0xBE, 0x04, 0x01, 0x02, 0x03, 0x04, 0x00, 0xFF, 0xFF, 0xF8, 0x00, 0x00},
     2352},
    {"ReadDiscInformation",
     [](MMC& m, std::uint8_t* b) { return m.ReadDiscInformation(34, b); },
     {0x51, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x22, 0x00},
     34},
    {"ReadDiscStructure",
     [](MMC& m, std::uint8_t* b) { return m.ReadDiscStructure(1, 8, b); },
     {0xAD, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x08, 0x00, 0x00},
     8},
    {"ReadHeaderMsf",
     [](MMC& m, std::uint8_t* b) { return m.ReadHeader(true, 16, 8, b); },
     {0x44, 0x02, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x08, 0x00},
     8},
    {"ReadHeaderLba",
     [](MMC& m, std::uint8_t* b) { return m.ReadHeader(false, 0x00ABCDEF, 8, b); },
     {0x44, 0x00, 0x00, 0xAB, 0xCD, 0xEF, 0x00, 0x00, 0x08, 0x00},
     8},
    {"ReadSubChannelCatalogue",
     [](MMC& m, std::uint8_t* b) { return m.ReadSubChannel(2, 0, 24, b); },
     {0x42, 0x00, 0x40, 0x02, 0x00, 0x00, 0x00, 0x00, 0x18, 0x00},
     24},
    {"ReadSubChannelIsrc",
     [](MMC& m, std::uint8_t* b) { return m.ReadSubChannel(3, 5, 24, b); },
     {0x42, 0x00, 0x40, 0x03, 0x00, 0x00, 0x05, 0x00, 0x18, 0x00},
     24},
    {"ReadTOCMsfFormat0",
     [](MMC& m, std::uint8_t* b) { return m.ReadTOC(true, 0, 804, b); },
     {0x43, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x24, 0x00},
     804},
    {"ReadTOCLbaFormat5",
     [](MMC& m, std::uint8_t* b) { return m.ReadTOC(false, 5, 0x1234, b); },
     {0x43, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x12, 0x34, 0x00},
     0x1234},
    {"ReadTrackInformation",
     [](MMC& m, std::uint8_t* b) { return m.ReadTrackInformation(7, 36, b); },
     {0x52, 0x01, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x24, 0x00},
     36},
    {"StartStopUnitLoad",
     [](MMC& m, std::uint8_t*) { return m.StartStopUnit(true); },
     {0x1B, 0x00, 0x00, 0x00, 0x03, 0x00},
     0},
    {"StartStopUnitEject",
     [](MMC& m, std::uint8_t*) { return m.StartStopUnit(false); },
     {0x1B, 0x00, 0x00, 0x00, 0x02, 0x00},
     0},
    {"TestUnitReady",
     [](MMC& m, std::uint8_t*) { return m.TestUnitReady(); },
     {0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
     0},
};

class CommandBlock : public ::testing::TestWithParam<std::tuple<CommandCase, const char*>> {
protected:
    void SetUp() override
    {
        const std::string interfaceName = std::get<1>(GetParam());
        if (interfaceName == MMC::InterfaceAspi) {
            platform_.SetAspiLibrary(true, true);
            platform_.AddAspiDrive('E', 1, 2);
        } else {
            platform_.AddDrive('E');
        }
        ASSERT_TRUE(mmc_.Create("E:", ""));
        ASSERT_EQ(mmc_.Interface(), interfaceName);
    }

    fake::FakePlatform platform_;
    MMC mmc_{platform_};
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(BufferSize);
};

TEST_P(CommandBlock, ReachesTheDriveExactly)
{
    const CommandCase& c = std::get<0>(GetParam());
    EXPECT_TRUE(c.send(mmc_, buffer_.data()));
    ASSERT_EQ(platform_.Commands().size(), 1u);
    const fake::SentCommand& sent = platform_.Commands().front();
    EXPECT_EQ(sent.letter, 'E');
    EXPECT_EQ(sent.cdb, c.cdb);
    EXPECT_EQ(sent.dataLength, c.dataLength);
}

INSTANTIATE_TEST_SUITE_P(AllCommands, CommandBlock,
                         ::testing::Combine(::testing::ValuesIn(CommandCases),
                                            ::testing::Values(MMC::InterfaceSpti, MMC::InterfaceAspi)),
                         CaseName);

// --- Arguments that cannot be sent ------------------------------------------------------

struct RejectedCase {
    std::string name;
    std::function<bool(MMC&, std::uint8_t*)> send;
};

class RejectedCommand : public ::testing::TestWithParam<RejectedCase> {};

TEST_P(RejectedCommand, FailsWithoutReachingTheDrive)
{
    fake::FakePlatform platform;
    platform.AddDrive('E');
    MMC mmc(platform);
    ASSERT_TRUE(mmc.Create("E:", ""));
    std::vector<std::uint8_t> buffer(4 * 2352, 0xAA);

    EXPECT_FALSE(GetParam().send(mmc, buffer.data()));
    EXPECT_TRUE(platform.Commands().empty());
    EXPECT_EQ(mmc.LastResult().transport, TransportOutcome::NotSent);
    EXPECT_EQ(buffer.front(), 0xAA) << "a rejected command must not touch the buffer";
}

INSTANTIATE_TEST_SUITE_P(
    BadArguments, RejectedCommand,
    ::testing::Values(
        RejectedCase{"NegativeSize", [](MMC& m, std::uint8_t* b) { return m.Inquiry(-1, b); }},
        RejectedCase{"NullBuffer", [](MMC& m, std::uint8_t*) { return m.Inquiry(36, nullptr); }},
        RejectedCase{"BurstNoBlocks", [](MMC& m, std::uint8_t* b) { return m.ReadCD(0, 0, 2352, b); }},
        RejectedCase{"BurstNegativeBlocks", [](MMC& m, std::uint8_t* b) { return m.ReadCD(0, -1, 2352, b); }},
        RejectedCase{"BurstTooManyBlocks",
                     [](MMC& m, std::uint8_t* b) { return m.ReadCD(0, 65536, 2352, b); }},
        RejectedCase{"BurstNegativeSize", [](MMC& m, std::uint8_t* b) { return m.ReadCD(0, 2, -1, b); }},
        RejectedCase{"BurstNullBuffer", [](MMC& m, std::uint8_t*) { return m.ReadCD(0, 2, 4704, nullptr); }}),
    [](const auto& info) { return info.param.name; });

// --- The caller's buffer ----------------------------------------------------------------

TEST(CommandBuffer, IsZeroedBeforeTheCommandAndOnlyWithinItsSize)
{
    fake::FakePlatform platform;
    platform.AddDrive('E').RespondTo(0x5A, {0x00, 0x1C, 0x7E});
    MMC mmc(platform);
    ASSERT_TRUE(mmc.Create("E:", ""));

    // One byte more than the size given, as the drive list passes it.
    std::vector<std::uint8_t> buffer(31, 0xAA);
    ASSERT_TRUE(mmc.ModeSense(0x2A, 30, buffer.data()));

    ASSERT_EQ(platform.Commands().size(), 1u);
    EXPECT_TRUE(platform.Commands().front().dataWasZero);
    // The short answer is followed by zeros, not by what the buffer held before.
    const std::vector<std::uint8_t> expected = {0x00, 0x1C, 0x7E};
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 3), expected);
    EXPECT_EQ(std::count(buffer.begin() + 3, buffer.begin() + 30, 0), 27);
    EXPECT_EQ(buffer[30], 0xAA) << "bytes beyond the given size belong to the caller";
}

} // namespace
} // namespace tolvane
