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
    const char* name;
    std::size_t offset, width;
    std::uint32_t value;
};

// Checks the fields and that every byte not covered by them (or by `free`: offset, length) is 0.
void ExpectRecord(ConstBytes record, const std::vector<Field>& fields,
                  std::pair<std::size_t, std::size_t> free = {})
{
    std::vector<bool> covered(record.size());
    for (const Field& f : fields) {
        const std::uint32_t value = f.width == 1   ? record[f.offset]
                                    : f.width == 2 ? Le16(record, f.offset)
                                                   : Le32(record, f.offset);
        EXPECT_EQ(value, f.value) << f.name << " at " << f.offset;
        std::fill_n(covered.begin() + static_cast<std::ptrdiff_t>(f.offset), f.width, true);
    }
    std::fill_n(covered.begin() + static_cast<std::ptrdiff_t>(free.first), free.second, true);
    for (std::size_t i = 0; i < record.size(); ++i)
        EXPECT_TRUE(covered[i] || record[i] == 0) << "byte " << i << " is " << int{record[i]};
}

const std::vector<std::uint8_t> Read10 = {0x28, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x01, 0x00};

TEST(SptiRecord, Fields)
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
                 {28, 10});
    EXPECT_TRUE(std::equal(Read10.begin(), Read10.end(), r.begin() + 28));

    // Data in also without data.
    ExpectRecord(spti::Build(0, 0, 0, std::vector<std::uint8_t>(6, 0), 0, 0),
                 {{"Length", 0, 2, 44},
                  {"CdbLength", 6, 1, 6},
                  {"SenseInfoLength", 7, 1, 32},
                  {"DataIn", 8, 1, 1},
                  {"TimeOutValue", 16, 4, 10000},
                  {"SenseInfoOffset", 24, 4, 48}});
    EXPECT_EQ(Le32(spti::Build(0, 0, 0, Read10, -1, 0), spti::OffDataTransferLength), 0xFFFFFFFFu)
        << "sign-extended";

    std::vector<std::uint8_t> cdb(20);
    std::iota(cdb.begin(), cdb.end(), std::uint8_t{1});
    const spti::Record cut = spti::Build(0, 0, 0, cdb, 0, 0);
    EXPECT_EQ(cut[spti::OffCdbLength], 16);
    EXPECT_TRUE(std::equal(cdb.begin(), cdb.begin() + 16, cut.begin() + 28));
    EXPECT_EQ(cut[44], 0) << "the filler after the command field stays 0";
}

// A sector read that moved fewer bytes than asked for lost data, as on Linux; other commands answer
// short all the time; the drive's status counts first.
TEST(SptiRecord, OutcomeJudgesShortTransfersAsEveryBackendDoes)
{
    const struct {
        const char* name;
        std::uint8_t opcode, status;
        std::uint32_t transferred;
        TransportOutcome transport;
        std::int32_t residual;
    } cases[] = {{"full READ CD", 0xBE, 0x00, 2352, TransportOutcome::Delivered, 0},
                 {"short READ CD", 0xBE, 0x00, 1176, TransportOutcome::ShortRead, 1176},
                 {"short READ(10)", 0x28, 0x00, 2351, TransportOutcome::ShortRead, 1},
                 {"short INQUIRY", 0x12, 0x00, 36, TransportOutcome::Delivered, 2316},
                 {"CHECK CONDITION on READ CD", 0xBE, 0x02, 0, TransportOutcome::Delivered, 2352}};
    for (const auto& c : cases) {
        spti::Record r = spti::Build(0, 0, 0, std::vector<std::uint8_t>{c.opcode}, 2352, 0);
        r[spti::OffScsiStatus] = c.status;
        PutLe32(r, spti::OffDataTransferLength, c.transferred);
        r[spti::OffSenseInfoLength] = c.status == 0x02 ? 18 : 0;
        r[spti::SenseOffset + 2] = 0x03; // MEDIUM ERROR
        const ScsiResult result = spti::Outcome(r, c.opcode, 2352);
        EXPECT_EQ(std::tuple(result.transport, result.residual, result.status, result.SenseKey()),
                  std::tuple(c.transport, c.residual, c.status, c.status == 0x02 ? 0x03 : 0))
            << c.name;
    }
}

TEST(AspiRecords, Layouts)
{
    const aspi::HaInquiry inquiry = aspi::BuildHaInquiry(3);
    ASSERT_EQ(inquiry.size(), 60u);
    ExpectRecord(inquiry, {{"SRB_Cmd", 0, 1, 0}, {"SRB_HaId", 2, 1, 3}});

    const aspi::DevType devType = aspi::BuildDevType(2, 6);
    ASSERT_EQ(devType.size(), 12u);
    ExpectRecord(
        devType,
        {{"SRB_Cmd", 0, 1, 1}, {"SRB_HaId", 2, 1, 2}, {"SRB_Target", 8, 1, 6}, {"SRB_Lun", 9, 1, 0}});

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
                 {48, 12});
    EXPECT_TRUE(std::equal(readCd.begin(), readCd.end(), r.begin() + 48));
    EXPECT_EQ(Le32(aspi::BuildExec(0, 0, Read10, -2, 0, 0), aspi::OffBufLen), 0xFFFFFFFEu) << "sign-extended";
}

} // namespace
} // namespace tolvane
