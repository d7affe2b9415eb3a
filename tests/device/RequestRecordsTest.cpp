// The request records as 32-bit Windows lays them out, byte for byte.
#include "device/platform/RequestRecords.h"
#include "support/Hex.h"
#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using namespace records;
using Bytes = std::vector<std::uint8_t>;

// The record's bytes as given, then zeros up to its size.
Bytes Padded(std::string_view hex, std::size_t size)
{
    Bytes bytes = test::Hex(hex);
    bytes.resize(size);
    return bytes;
}

Bytes Of(ConstBytes record)
{
    return Bytes(record.begin(), record.end());
}

const Bytes Read10 = test::Hex("28 00 00 00 00 10 00 00 01 00");

TEST(SptiRecord, Layout)
{
    // Length, ScsiStatus, PathId, TargetId, Lun, CdbLength, SenseInfoLength, DataIn (also without data),
    // DataTransferLength, TimeOutValue, DataBuffer, SenseInfoOffset, the command block.
    EXPECT_EQ(Of(spti::Build(1, 2, 3, Read10, 2048, 0x12345678)),
              Padded("2C 00 00 01 02 03 0A 20 01 00 00 00 00 08 00 00 10 27 00 00 78 56 34 12 "
                     "30 00 00 00 28 00 00 00 00 10 00 00 01 00",
                     80));
    EXPECT_EQ(Of(spti::Build(0, 0, 0, Bytes(6, 0), 0, 0)),
              Padded("2C 00 00 00 00 00 06 20 01 00 00 00 00 00 00 00 10 27 00 00 00 00 00 00 30", 80));
    EXPECT_EQ(Le32(spti::Build(0, 0, 0, Read10, -1, 0), spti::OffDataTransferLength), 0xFFFFFFFFu)
        << "sign-extended";
    Bytes cdb(20);
    std::iota(cdb.begin(), cdb.end(), std::uint8_t{1});
    const spti::Record cut = spti::Build(0, 0, 0, cdb, 0, 0);
    EXPECT_EQ(cut[spti::OffCdbLength], 16);
    EXPECT_EQ(Bytes(cut.begin() + 28, cut.begin() + 48),
              Padded("01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10", 20))
        << "cut to sixteen bytes; the filler after the command field stays 0";
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
        spti::Record r = spti::Build(0, 0, 0, Bytes{c.opcode}, 2352, 0);
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
    // SRB_Cmd, SRB_Status, SRB_HaId, SRB_Flags, then per command: SRB_Target and SRB_Lun at 8 and 9;
    // SRB_BufLen, SRB_BufPointer, SRB_SenseLen, SRB_CDBLen, SRB_HaStat, SRB_TargStat, SRB_PostProc; the CDB
    // at 48.
    EXPECT_EQ(Of(aspi::BuildHaInquiry(3)), Padded("00 00 03", 60));
    EXPECT_EQ(Of(aspi::BuildDevType(2, 6)), Padded("01 00 02 00 00 00 00 00 06", 12));
    const Bytes readCd = test::Hex("BE 04 00 00 00 00 00 00 01 F8 00 00");
    EXPECT_EQ(Of(aspi::BuildExec(1, 4, readCd, 2352, 0x00401000, 0x0000ABCD)),
              Padded("02 00 01 48 00 00 00 00 04 00 00 00 30 09 00 00 00 10 40 00 0E 0C 00 00 "
                     "CD AB 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                     "BE 04 00 00 00 00 00 00 01 F8",
                     80));
    EXPECT_EQ(Le32(aspi::BuildExec(0, 0, Read10, -2, 0, 0), aspi::OffBufLen), 0xFFFFFFFEu) << "sign-extended";
}

} // namespace
} // namespace tolvane
