#include "device/platform/ScsiResult.h"

#include <gtest/gtest.h>

#include <string>

namespace tolvane {
namespace {

TEST(ScsiResult, CheckConditionIsFixedFormatSense)
{
    const ScsiResult r = ScsiResult::CheckCondition(0x06, 0x28, 0x01);
    EXPECT_EQ(r.transport, TransportOutcome::Delivered);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.senseLength, 18);
    EXPECT_EQ(r.sense[0], 0x70);
    EXPECT_EQ(r.sense[2], 0x06);
    EXPECT_EQ(r.sense[7], 10);
    EXPECT_EQ(r.sense[12], 0x28);
    EXPECT_EQ(r.sense[13], 0x01);
    EXPECT_TRUE(r.IsUnitAttention());
    EXPECT_FALSE(r.Good());
    EXPECT_FALSE(ScsiResult::CheckCondition(0x02, 0x3A, 0x00).IsUnitAttention());
}

TEST(ScsiResult, SuccessIsGood)
{
    const ScsiResult r = ScsiResult::Success(12);
    EXPECT_TRUE(r.Good());
    EXPECT_EQ(r.residual, 12);
    EXPECT_EQ(r.senseLength, 0);
    EXPECT_FALSE(ScsiResult{}.Good()) << "a result that was never sent";
}

struct DescribeCase {
    std::string name;
    ScsiResult result;
    std::string text;
};

ScsiResult Transport(TransportOutcome outcome, int osError = 0)
{
    ScsiResult r;
    r.transport = outcome;
    r.osError = osError;
    return r;
}

ScsiResult Status(std::uint8_t status)
{
    ScsiResult r = ScsiResult::Success();
    r.status = status;
    return r;
}

class Describe : public ::testing::TestWithParam<DescribeCase> {};

TEST_P(Describe, NamesTheOutcome)
{
    EXPECT_EQ(GetParam().result.Describe(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Describe,
    ::testing::Values(
        DescribeCase{"Good", ScsiResult::Success(), "GOOD"},
        DescribeCase{"InvalidField", ScsiResult::CheckCondition(5, 0x24, 0), "CHECK CONDITION 05/24/00"},
        DescribeCase{"HexDigits", ScsiResult::CheckCondition(0x0B, 0xAB, 0x3F), "CHECK CONDITION 0B/AB/3F"},
        DescribeCase{"Busy", Status(scsi::StatusBusy), "BUSY"},
        DescribeCase{"OtherStatus", Status(0x18), "STATUS 18"},
        DescribeCase{"OsError", Transport(TransportOutcome::OsError, 5), "OsError (error 5)"},
        DescribeCase{"NotSent", Transport(TransportOutcome::NotSent), "NotSent"},
        DescribeCase{"HostError", Transport(TransportOutcome::HostError), "HostError"},
        DescribeCase{"DriverError", Transport(TransportOutcome::DriverError), "DriverError"},
        DescribeCase{"ShortRead", Transport(TransportOutcome::ShortRead), "ShortRead"}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace tolvane
