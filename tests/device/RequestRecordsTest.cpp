// The request records as 32-bit Windows lays them out, field by field.
#include "device/platform/RequestRecords.h"
#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using namespace records;

// One little-endian field of a record: where it is, how wide, what it holds.
struct Field {
    std::string name;
    std::size_t offset;
    std::size_t width;
    std::uint32_t value;
};

std::uint32_t ReadField(ConstBytes record, const Field& f)
{
    switch (f.width) {
    case 1:
        return record[f.offset];
    case 2:
        return Le16(record, f.offset);
    default:
        return Le32(record, f.offset);
    }
}

// Checks the fields and that every byte not covered by them (or by `free`) is 0.
void ExpectRecord(ConstBytes record, const std::vector<Field>& fields,
                  const std::vector<std::pair<std::size_t, std::size_t>>& free = {})
{
    std::vector<bool> covered(record.size());
    for (const Field& f : fields) {
        EXPECT_EQ(ReadField(record, f), f.value) << f.name << " at " << f.offset;
        std::fill_n(covered.begin() + static_cast<std::ptrdiff_t>(f.offset), f.width, true);
    }
    for (const auto& [offset, length] : free) {
        std::fill_n(covered.begin() + static_cast<std::ptrdiff_t>(offset), length, true);
    }
    for (std::size_t i = 0; i < record.size(); ++i) {
        if (!covered[i]) {
            EXPECT_EQ(record[i], 0) << "byte " << i;
        }
    }
}

const std::vector<std::uint8_t> Read10 = {0x28, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x01, 0x00};

TEST(SptiRecord, FieldsOfAReadCommand)
{
    const spti::Record r = spti::Build(1, 2, 3, Read10, 2048, 0x12345678);

    ASSERT_EQ(r.size(), 80u);
    ExpectRecord(r,
                 {{"Length", 0, 2, 44},
                  {"ScsiStatus", 2, 1, 0},
                  {"PathId", 3, 1, 1},
                  {"TargetId", 4, 1, 2},
                  {"Lun", 5, 1, 3},
                  {"CdbLength", 6, 1, 10},
                  {"SenseInfoLength", 7, 1, 32},
                  {"DataIn", 8, 1, 1},
                  {"DataTransferLength", 12, 4, 2048},
                  {"TimeOutValue", 16, 4, 10000},
                  {"DataBuffer", 20, 4, 0x12345678},
                  {"SenseInfoOffset", 24, 4, 48}},
                 {{28, 10}});
    EXPECT_TRUE(std::equal(Read10.begin(), Read10.end(), r.begin() + 28));
}

TEST(SptiRecord, CommandWithoutData)
{
    const std::vector<std::uint8_t> testUnitReady(6, 0);
    const spti::Record r = spti::Build(0, 0, 0, testUnitReady, 0, 0);
    ExpectRecord(r, {{"Length", 0, 2, 44},
                     {"CdbLength", 6, 1, 6},
                     {"SenseInfoLength", 7, 1, 32},
                     {"DataIn", 8, 1, 1}, // data in also without data
                     {"TimeOutValue", 16, 4, 10000},
                     {"SenseInfoOffset", 24, 4, 48}});
}

TEST(SptiRecord, NegativeSizeIsSignExtended)
{
    const spti::Record r = spti::Build(0, 0, 0, Read10, -1, 0);
    EXPECT_EQ(Le32(r, spti::OffDataTransferLength), 0xFFFFFFFFu);
}

TEST(SptiRecord, OverlongCommandIsCutToSixteenBytes)
{
    std::vector<std::uint8_t> cdb(20);
    std::iota(cdb.begin(), cdb.end(), std::uint8_t{1});
    const spti::Record r = spti::Build(0, 0, 0, cdb, 0, 0);
    EXPECT_EQ(r[spti::OffCdbLength], 16);
    EXPECT_TRUE(std::equal(cdb.begin(), cdb.begin() + 16, r.begin() + 28));
    EXPECT_EQ(r[44], 0) << "the filler after the command field stays 0";
}

// What comes back in the record: a sector read that moved fewer bytes than asked for lost
// data, as on Linux; other commands answer short all the time; the drive's status counts first.
TEST(SptiRecord, OutcomeJudgesShortTransfersAsEveryBackendDoes)
{
    struct Case {
        const char* name;
        std::uint8_t opcode;
        std::uint8_t status;
        std::uint32_t transferred;
        TransportOutcome transport;
        std::int32_t residual;
    };
    const Case cases[] = {
        {"full READ CD", 0xBE, 0x00, 2352, TransportOutcome::Delivered, 0},
        {"short READ CD", 0xBE, 0x00, 1176, TransportOutcome::ShortRead, 1176},
        {"short READ(10)", 0x28, 0x00, 2351, TransportOutcome::ShortRead, 1},
        {"short INQUIRY", 0x12, 0x00, 36, TransportOutcome::Delivered, 2316},
        {"CHECK CONDITION on READ CD", 0xBE, 0x02, 0, TransportOutcome::Delivered, 2352},
    };
    for (const Case& c : cases) {
        spti::Record r = spti::Build(0, 0, 0, std::vector<std::uint8_t>{c.opcode}, 2352, 0);
        r[spti::OffScsiStatus] = c.status;
        PutLe32(r, spti::OffDataTransferLength, c.transferred);
        r[spti::OffSenseInfoLength] = c.status == 0x02 ? 18 : 0;
        r[spti::SenseOffset + 2] = 0x03; // MEDIUM ERROR
        const ScsiResult result = spti::Outcome(r, c.opcode, 2352);
        EXPECT_EQ(result.transport, c.transport) << c.name;
        EXPECT_EQ(result.residual, c.residual) << c.name;
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.SenseKey(), c.status == 0x02 ? 0x03 : 0) << c.name;
    }
}

TEST(AspiRecords, HostAdapterInquiry)
{
    const aspi::HaInquiry r = aspi::BuildHaInquiry(3);
    ASSERT_EQ(r.size(), 60u);
    ExpectRecord(r, {{"SRB_Cmd", 0, 1, 0}, {"SRB_HaId", 2, 1, 3}});
}

TEST(AspiRecords, DeviceTypeQuery)
{
    const aspi::DevType r = aspi::BuildDevType(2, 6);
    ASSERT_EQ(r.size(), 12u);
    ExpectRecord(
        r, {{"SRB_Cmd", 0, 1, 1}, {"SRB_HaId", 2, 1, 2}, {"SRB_Target", 8, 1, 6}, {"SRB_Lun", 9, 1, 0}});
}

TEST(AspiRecords, ExecuteCommand)
{
    const std::vector<std::uint8_t> readCd = {0xBE, 0x04, 0x00, 0x00, 0x00, 0x00,
                                              0x00, 0x00, 0x01, 0xF8, 0x00, 0x00};
    const aspi::Exec r = aspi::BuildExec(1, 4, readCd, 2352, 0x00401000, 0x0000ABCD);
    ASSERT_EQ(r.size(), 80u);
    ExpectRecord(r,
                 {{"SRB_Cmd", 0, 1, 2},
                  {"SRB_Status", 1, 1, 0},
                  {"SRB_HaId", 2, 1, 1},
                  {"SRB_Flags", 3, 1, 0x48},
                  {"SRB_Target", 8, 1, 4},
                  {"SRB_Lun", 9, 1, 0},
                  {"SRB_BufLen", 12, 4, 2352},
                  {"SRB_BufPointer", 16, 4, 0x00401000},
                  {"SRB_SenseLen", 20, 1, 14},
                  {"SRB_CDBLen", 21, 1, 12},
                  {"SRB_PostProc", 24, 4, 0xABCD}},
                 {{48, 12}});
    EXPECT_TRUE(std::equal(readCd.begin(), readCd.end(), r.begin() + 48));
}

TEST(AspiRecords, ExecuteCommandSignExtendsTheSize)
{
    const aspi::Exec r = aspi::BuildExec(0, 0, Read10, -2, 0, 0);
    EXPECT_EQ(Le32(r, aspi::OffBufLen), 0xFFFFFFFEu);
}

} // namespace
} // namespace tolvane
