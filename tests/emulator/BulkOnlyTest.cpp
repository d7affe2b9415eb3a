#include "emulator/BulkOnly.h"

#include "emulator/DemoDiscs.h"
#include "emulator/EmulatedDrive.h"
#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <vector>

namespace tolvane::emulator::bot {
namespace {

std::vector<std::uint8_t> Cbw(std::uint32_t tag, std::uint32_t length, bool in, std::vector<std::uint8_t> cdb,
                              std::uint8_t lun = 0)
{
    std::vector<std::uint8_t> b(CbwLength, 0);
    PutLe32(b, 0, CbwSignature);
    PutLe32(b, 4, tag);
    PutLe32(b, 8, length);
    b[12] = in ? 0x80 : 0x00;
    b[13] = lun;
    b[14] = static_cast<std::uint8_t>(cdb.size());
    std::copy(cdb.begin(), cdb.end(), b.begin() + 15);
    return b;
}

CommandBlockWrapper Parsed(std::vector<std::uint8_t> bytes)
{
    const auto cbw = ParseCbw(bytes);
    EXPECT_TRUE(cbw);
    return cbw.value_or(CommandBlockWrapper{});
}

TEST(BulkOnly, AWrapperIsTakenApartOnlyWhenWellFormed)
{
    const CommandBlockWrapper c =
        Parsed(Cbw(0xA1B2C3D4, 2352, true, {0xBE, 0, 0, 0, 0, 16, 0, 0, 1, 0xF8, 0, 0}, 0));
    EXPECT_EQ(c.tag, 0xA1B2C3D4u);
    EXPECT_EQ(c.dataLength, 2352u);
    EXPECT_TRUE(c.dataIn);
    EXPECT_EQ(c.cdb, (std::vector<std::uint8_t>{0xBE, 0, 0, 0, 0, 16, 0, 0, 1, 0xF8, 0, 0}));

    std::vector<std::uint8_t> shortOne = Cbw(1, 0, false, {0});
    shortOne.pop_back();
    std::vector<std::uint8_t> unsigned_ = Cbw(1, 0, false, {0});
    unsigned_[3] = 0x44;
    std::vector<std::uint8_t> longCdb = Cbw(1, 0, false, {0});
    longCdb[14] = 17;
    for (const auto& bad : {shortOne, unsigned_, longCdb, Cbw(1, 0, false, {})}) {
        EXPECT_FALSE(ParseCbw(bad));
    }
}

TEST(BulkOnly, AnswersCarryTheHostsLengthAndTheDrivesResidue)
{
    EmulatedDrive drive;
    drive.Insert(MakeDemoCd());
    Execute(drive, Parsed(Cbw(1, 0, false, {0x00, 0, 0, 0, 0, 0}))); // the UNIT ATTENTION of the new disc

    // INQUIRY asked for 96 bytes: a CD-ROM (type 5) answers its 36 and says 60 were not real.
    const Reply inquiry = Execute(drive, Parsed(Cbw(7, 96, true, {0x12, 0, 0, 0, 96, 0})));
    ASSERT_EQ(inquiry.dataIn.size(), 96u);
    EXPECT_EQ(inquiry.dataIn[0], 0x05);
    EXPECT_EQ(Le32(inquiry.csw, 0), CswSignature);
    EXPECT_EQ(Le32(inquiry.csw, 4), 7u);
    EXPECT_EQ(Le32(inquiry.csw, 8), 96u - 5u - inquiry.dataIn[4]);
    EXPECT_EQ(inquiry.csw[12], 0);

    // A command the drive fails: no data is real, and its sense waits for REQUEST SENSE.
    const Reply failed =
        Execute(drive, Parsed(Cbw(8, 2352, true, {0xBE, 0, 0x7F, 0, 0, 0, 0, 0, 1, 0x10, 0, 0})));
    EXPECT_EQ(failed.csw[12], static_cast<std::uint8_t>(CswStatus::Failed));
    EXPECT_EQ(Le32(failed.csw, 8), 2352u);
    EXPECT_EQ(failed.dataIn, std::vector<std::uint8_t>(2352, 0));
    const Reply sense = Execute(drive, Parsed(Cbw(9, 18, true, {0x03, 0, 0, 0, 18, 0})));
    EXPECT_EQ(sense.csw[12], 0);
    EXPECT_EQ(sense.dataIn[2] & 0x0F, 0x05); // ILLEGAL REQUEST
    EXPECT_EQ(sense.dataIn[12], 0x21);       // logical block address out of range

    // A logical unit the gadget does not have, and a command with no data stage.
    EXPECT_EQ(Execute(drive, Parsed(Cbw(10, 36, true, {0x12, 0, 0, 0, 36, 0}, 1))).csw[12], 1);
    drive.Remove();
    const Reply notReady = Execute(drive, Parsed(Cbw(11, 0, false, {0x00, 0, 0, 0, 0, 0})));
    EXPECT_TRUE(notReady.dataIn.empty());
    EXPECT_EQ(notReady.csw[12], 1);
}

} // namespace
} // namespace tolvane::emulator::bot
