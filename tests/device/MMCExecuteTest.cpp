// What the transport makes of the drive's answers: success only for GOOD, UNIT
// ATTENTION sent again, and the ASPI request record with its answer.
#include "device/MMC.h"
#include "device/platform/RequestRecords.h"
#include "support/FakePlatform.h"
#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolvane {
namespace {

namespace aspi = records::aspi;

// A transport opened on drive E: over the interface named by the test parameter.
class OverInterface : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        if (std::string(GetParam()) == MMC::InterfaceAspi) {
            platform_.SetAspiLibrary(true, true);
            drive_ = &platform_.AddAspiDrive('E', 0, 1);
        } else {
            drive_ = &platform_.AddDrive('E');
        }
        ASSERT_TRUE(mmc_.Create("E:", ""));
        ASSERT_EQ(mmc_.Interface(), GetParam());
    }

    fake::FakePlatform platform_;
    fake::FakeDrive* drive_ = nullptr;
    MMC mmc_{platform_};
};

ScsiResult WithTransport(TransportOutcome outcome)
{
    ScsiResult r;
    r.transport = outcome;
    return r;
}

ScsiResult WithStatus(std::uint8_t status)
{
    ScsiResult r = ScsiResult::Success();
    r.status = status;
    return r;
}

struct AnswerCase {
    std::string name;
    ScsiResult answer;
    bool ok;
};

const std::vector<AnswerCase> AnswerCases = {
    {"Good", ScsiResult::Success(), true},
    {"GoodWithResidual", ScsiResult::Success(20), true},
    {"InvalidFieldInCdb", ScsiResult::CheckCondition(scsi::SenseIllegalRequest, 0x24, 0x00), false},
    {"MediumNotPresent", ScsiResult::CheckCondition(scsi::SenseNotReady, 0x3A, 0x01), false},
    {"Busy", WithStatus(scsi::StatusBusy), false},
    {"OsError", WithTransport(TransportOutcome::OsError), false},
    {"HostError", WithTransport(TransportOutcome::HostError), false},
    {"DriverError", WithTransport(TransportOutcome::DriverError), false},
    {"ShortRead", WithTransport(TransportOutcome::ShortRead), false},
};

class Answers : public ::testing::TestWithParam<std::tuple<AnswerCase, const char*>> {};

TEST_P(Answers, SucceedOnlyWhenDeliveredWithGood)
{
    const auto& [c, interfaceName] = GetParam();
    fake::FakePlatform platform;
    fake::FakeDrive& drive = std::string(interfaceName) == MMC::InterfaceAspi
                                 ? platform.AddAspiDrive('E', 0, 1)
                                 : platform.AddDrive('E');
    platform.SetAspiLibrary(std::string(interfaceName) == MMC::InterfaceAspi,
                            std::string(interfaceName) == MMC::InterfaceAspi);
    MMC mmc(platform);
    ASSERT_TRUE(mmc.Create("E:", ""));
    ASSERT_EQ(mmc.Interface(), interfaceName);
    drive.Queue(c.answer);

    std::uint8_t buffer[8] = {};
    EXPECT_EQ(mmc.ReadCapacity(sizeof buffer, buffer), c.ok);
    EXPECT_EQ(platform.Commands().size(), 1u) << "only UNIT ATTENTION is sent again";
    if (c.answer.status == scsi::StatusCheckCondition) {
        // The sense survives the trip through either interface, for diagnostics.
        EXPECT_EQ(mmc.LastResult().SenseKey(), c.answer.SenseKey());
        EXPECT_EQ(mmc.LastResult().Asc(), c.answer.Asc());
        EXPECT_EQ(mmc.LastResult().Ascq(), c.answer.Ascq());
    }
}

INSTANTIATE_TEST_SUITE_P(DriveAnswers, Answers,
                         ::testing::Combine(::testing::ValuesIn(AnswerCases),
                                            ::testing::Values(MMC::InterfaceSpti, MMC::InterfaceAspi)),
                         [](const auto& info) {
                             return std::get<0>(info.param).name + "_" + std::get<1>(info.param);
                         });

// --- UNIT ATTENTION -----------------------------------------------------------------------

struct RetryCase {
    int unitAttentions; // answered before the drive says GOOD
    bool ok;
    std::size_t sends;
};

class UnitAttention : public ::testing::TestWithParam<std::tuple<RetryCase, const char*>> {};

TEST_P(UnitAttention, IsSentAgainUpToThreeTimes)
{
    const auto& [c, interfaceName] = GetParam();
    fake::FakePlatform platform;
    const bool viaAspi = std::string(interfaceName) == MMC::InterfaceAspi;
    fake::FakeDrive& drive = viaAspi ? platform.AddAspiDrive('E', 0, 1) : platform.AddDrive('E');
    platform.SetAspiLibrary(viaAspi, viaAspi);
    MMC mmc(platform);
    ASSERT_TRUE(mmc.Create("E:", ""));

    // Each UNIT ATTENTION leaves junk behind in the buffer; the resend must not see it.
    for (int i = 0; i < c.unitAttentions; ++i) {
        drive.Queue(ScsiResult::CheckCondition(scsi::SenseUnitAttention, 0x28, 0x00),
                    {0xEE, 0xEE, 0xEE, 0xEE});
    }
    drive.Queue(ScsiResult::Success(), {0x01, 0x02});

    std::uint8_t buffer[4] = {};
    EXPECT_EQ(mmc.Inquiry(sizeof buffer, buffer), c.ok);
    ASSERT_EQ(platform.Commands().size(), c.sends);
    for (const auto& sent : platform.Commands()) {
        EXPECT_TRUE(sent.dataWasZero);
        EXPECT_EQ(sent.cdb, platform.Commands().front().cdb);
    }
    if (c.ok) {
        const std::uint8_t expected[4] = {0x01, 0x02, 0x00, 0x00};
        EXPECT_TRUE(std::equal(buffer, buffer + 4, expected));
    } else {
        EXPECT_TRUE(mmc.LastResult().IsUnitAttention()) << "the last answer counts";
    }
}

INSTANTIATE_TEST_SUITE_P(Retries, UnitAttention,
                         ::testing::Combine(::testing::Values(RetryCase{0, true, 1}, RetryCase{1, true, 2},
                                                              RetryCase{2, true, 3}, RetryCase{3, true, 4},
                                                              RetryCase{4, false, 4}),
                                            ::testing::Values(MMC::InterfaceSpti, MMC::InterfaceAspi)),
                         [](const auto& info) {
                             return std::to_string(std::get<0>(info.param).unitAttentions) +
                                    "UnitAttentions_" + std::get<1>(info.param);
                         });

// --- Commands without data ------------------------------------------------------------------

TEST_P(OverInterface, CommandWithoutDataHasLengthZero)
{
    EXPECT_TRUE(mmc_.TestUnitReady());
    ASSERT_EQ(platform_.Commands().size(), 1u);
    EXPECT_EQ(platform_.Commands().front().dataLength, 0u);
}

TEST_P(OverInterface, ObserverSeesEachCommandOnceWithItsFinalAnswer)
{
    std::vector<std::vector<std::uint8_t>> blocks;
    std::vector<std::string> answers;
    mmc_.SetCommandObserver([&](std::span<const std::uint8_t> cdb, const ScsiResult& result) {
        blocks.emplace_back(cdb.begin(), cdb.end());
        answers.push_back(result.Describe());
    });
    drive_->Queue(ScsiResult::CheckCondition(scsi::SenseUnitAttention, 0x29, 0x00));
    drive_->Queue(ScsiResult::CheckCondition(scsi::SenseNotReady, 0x3A, 0x01));

    EXPECT_FALSE(mmc_.TestUnitReady());
    EXPECT_TRUE(mmc_.StartStopUnit(false));

    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], (std::vector<std::uint8_t>{0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(blocks[1], (std::vector<std::uint8_t>{0x1B, 0x00, 0x00, 0x00, 0x02, 0x00}));
    EXPECT_EQ(answers, (std::vector<std::string>{"CHECK CONDITION 02/3A/01", "GOOD"}));
}

INSTANTIATE_TEST_SUITE_P(Interfaces, OverInterface,
                         ::testing::Values(MMC::InterfaceSpti, MMC::InterfaceAspi));

// --- The ASPI request record ----------------------------------------------------------------

class AspiExec : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform_.SetAspiLibrary(true, true);
        platform_.AddAspiDrive('E', 2, 5);
        ASSERT_TRUE(mmc_.Create("E:", ""));
        platform_.aspi.execHandler = [this](std::span<std::uint8_t> srb, std::span<std::uint8_t> data) {
            sent_.assign(srb.begin(), srb.end());
            dataSize_ = data.size();
            std::copy(answer_.begin(), answer_.end(), srb.begin());
            return layerAccepts_;
        };
    }

    // The layer's answer: the record's first bytes and the sense area.
    void Answer(std::uint8_t srbStatus, std::uint8_t haStat, std::uint8_t targStat)
    {
        answer_ = sent_.empty() ? std::vector<std::uint8_t>(aspi::ExecSize) : sent_;
        answer_[aspi::OffStatus] = srbStatus;
        answer_[aspi::OffHaStat] = haStat;
        answer_[aspi::OffTargStat] = targStat;
    }

    fake::FakePlatform platform_;
    MMC mmc_{platform_};
    std::vector<std::uint8_t> sent_;
    std::vector<std::uint8_t> answer_;
    std::size_t dataSize_ = 0;
    bool layerAccepts_ = true;
};

TEST_F(AspiExec, RecordCarriesAddressFlagsAndCommand)
{
    std::uint8_t buffer[36];
    mmc_.Inquiry(sizeof buffer, buffer);

    ASSERT_EQ(sent_.size(), aspi::ExecSize);
    EXPECT_EQ(sent_[aspi::OffCmd], aspi::SC_EXEC_SCSI_CMD);
    EXPECT_EQ(sent_[aspi::OffHaId], 2);
    EXPECT_EQ(sent_[aspi::OffFlags], 0x48);
    EXPECT_EQ(sent_[aspi::OffTarget], 5);
    EXPECT_EQ(sent_[aspi::OffLun], 0);
    EXPECT_EQ(Le32(sent_, aspi::OffBufLen), 36u);
    EXPECT_EQ(sent_[aspi::OffSenseLen], 14);
    EXPECT_EQ(sent_[aspi::OffCdbLen], 6);
    const std::vector<std::uint8_t> cdbField(sent_.begin() + aspi::OffCdbByte,
                                             sent_.begin() + aspi::OffCdbByte + 16);
    EXPECT_EQ(cdbField, (std::vector<std::uint8_t>{0x12, 0, 0, 0, 0x24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(dataSize_, 36u);
}

struct AspiAnswerCase {
    std::string name;
    std::uint8_t srbStatus;
    std::uint8_t haStat;
    std::uint8_t targStat;
    bool layerAccepts;
    bool ok;
    TransportOutcome transport;
};

class AspiAnswers : public AspiExec, public ::testing::WithParamInterface<AspiAnswerCase> {};

TEST_P(AspiAnswers, SucceedOnlyWithCompletion)
{
    const AspiAnswerCase& c = GetParam();
    std::uint8_t buffer[8];
    mmc_.ReadCapacity(sizeof buffer, buffer); // learn the record's shape
    Answer(c.srbStatus, c.haStat, c.targStat);
    layerAccepts_ = c.layerAccepts;

    EXPECT_EQ(mmc_.ReadCapacity(sizeof buffer, buffer), c.ok);
    EXPECT_EQ(mmc_.LastResult().transport, c.transport);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, AspiAnswers,
    ::testing::Values(
        AspiAnswerCase{"Completed", aspi::SS_COMP, 0, 0, true, true, TransportOutcome::Delivered},
        AspiAnswerCase{"CheckCondition", aspi::SS_ERR, 0, 2, true, false, TransportOutcome::Delivered},
        AspiAnswerCase{"SelectionTimeout", aspi::SS_ERR, 0x11, 0, true, false, TransportOutcome::HostError},
        AspiAnswerCase{"Aborted", 0x02, 0, 0, true, false, TransportOutcome::DriverError},
        AspiAnswerCase{"NeverCompleted", aspi::SS_PENDING, 0, 0, true, false, TransportOutcome::DriverError},
        AspiAnswerCase{"NoEvent", aspi::SS_COMP, 0, 0, false, false, TransportOutcome::NotSent}),
    [](const auto& info) { return info.param.name; });

TEST_F(AspiExec, CheckConditionSenseIsKept)
{
    std::uint8_t buffer[8];
    mmc_.ReadCapacity(sizeof buffer, buffer);
    Answer(aspi::SS_ERR, 0, scsi::StatusCheckCondition);
    answer_[aspi::OffSenseArea] = 0x70;
    answer_[aspi::OffSenseArea + 2] = scsi::SenseIllegalRequest;
    answer_[aspi::OffSenseArea + 12] = 0x24;

    EXPECT_FALSE(mmc_.ReadCapacity(sizeof buffer, buffer));
    EXPECT_EQ(mmc_.LastResult().Describe(), "CHECK CONDITION 05/24/00");
}

} // namespace
} // namespace tolvane
