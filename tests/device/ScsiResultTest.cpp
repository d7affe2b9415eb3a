#include "device/platform/ScsiResult.h"

#include <gtest/gtest.h>

#include <string>

namespace tolvane {
namespace {

TEST(ScsiResult, CheckConditionIsFixedFormatSenseSuccessIsGood)
{
    const ScsiResult r = ScsiResult::CheckCondition(0x06, 0x28, 0x01);
    EXPECT_EQ(std::tuple(r.transport, r.status, r.senseLength),
              std::tuple(TransportOutcome::Delivered, 2, 18));
    EXPECT_EQ(std::tuple(r.sense[0], r.sense[2], r.sense[7], r.sense[12], r.sense[13]),
              std::tuple(0x70, 0x06, 10, 0x28, 0x01));
    EXPECT_TRUE(r.IsUnitAttention());
    EXPECT_FALSE(r.Good());
    EXPECT_FALSE(ScsiResult::CheckCondition(0x02, 0x3A, 0x00).IsUnitAttention());

    EXPECT_TRUE(ScsiResult::Success(12).Good());
    EXPECT_FALSE(ScsiResult{}.Good()) << "a result that was never sent";
}

TEST(ScsiResult, DescribeNamesTheOutcome)
{
    const auto with = [](TransportOutcome outcome, std::uint8_t status = 0, int osError = 0) {
        ScsiResult r = ScsiResult::Success();
        r.transport = outcome, r.status = status, r.osError = osError;
        return r;
    };
    using T = TransportOutcome;
    // GOOD and CHECK CONDITION are read back where the transport reports its commands.
    const std::pair<ScsiResult, const char*> cases[] = {{with(T::Delivered, scsi::StatusBusy), "BUSY"},
                                                        {with(T::Delivered, 0x18), "STATUS 18"},
                                                        {with(T::OsError, 0, 5), "OsError (error 5)"},
                                                        {with(T::NotSent), "NotSent"},
                                                        {with(T::ShortRead), "ShortRead"}};
    for (const auto& [result, text] : cases)
        EXPECT_EQ(result.Describe(), text);
}

} // namespace
} // namespace tolvane
