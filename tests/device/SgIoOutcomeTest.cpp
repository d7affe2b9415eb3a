#include "device/platform/SgIoOutcome.h"
#include "device/platform/ScsiOpcodes.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <span>
#include <string>

namespace tolvane {
namespace {

// Fixed-format sense for NOT READY / MEDIUM NOT PRESENT (02/3A/00), 18 bytes, followed by bytes a
// descriptor-capable buffer might also hold.
constexpr std::array<std::uint8_t, 32> NotReadySense{0x70, 0,    0x02, 0, 0, 0, 0, 0x0A, 0,    0,    0,
                                                     0,    0x3A, 0x00, 0, 0, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE};

constexpr std::array<std::uint8_t, 3> ShortSense{0x70, 0, 0x06};

TEST(SgIoOutcome, Classifies)
{
    using T = TransportOutcome;
    constexpr std::uint8_t Check = scsi::StatusCheckCondition, Inquiry = 0x12;
    const struct {
        std::string name;
        int ioctlResult = 0, osError = 0;
        std::uint8_t status = 0;
        std::uint16_t host = 0, driver = 0;
        std::uint8_t senseWritten = 0;
        std::span<const std::uint8_t> sense = NotReadySense;
        std::int32_t resid = 0;
        std::uint8_t opcode = Inquiry;
        std::uint32_t dataLength = 96;
        TransportOutcome transport = T::Delivered;
        std::uint8_t expectedStatus = 0, expectedSenseLength = 0;
        std::int32_t expectedResidual = 0;
        int expectedOsError = 0;
    } cases[] = {
        // clang-format off
        {.name = "Good"},
        {.name = "IoctlFailedIgnoresStaleFields", .ioctlResult = -1, .osError = EIO, .status = Check,
         .host = sgio::DidError, .senseWritten = 18, .resid = 10, .transport = T::OsError,
         .expectedOsError = EIO},
        {.name = "CheckConditionWithDriverSense", .status = Check, .driver = sgio::DriverSense,
         .senseWritten = 18, .resid = 96, .opcode = 0x00, .dataLength = 0, .expectedStatus = Check,
         .expectedSenseLength = 18},
        // Three bytes are the least that hold the sense key; a shorter buffer than reported is not overrun.
        {.name = "ShortSenseBufferIsNotOverrun", .status = Check, .driver = sgio::DriverSense,
         .senseWritten = 18, .sense = ShortSense, .expectedStatus = Check, .expectedSenseLength = 3},
        {.name = "LongSenseKeepsEighteen", .status = Check, .driver = sgio::DriverSense, .senseWritten = 32,
         .expectedStatus = Check, .expectedSenseLength = 18},
        {.name = "CheckConditionOnReadCdIsNoShortRead", .status = Check, .driver = sgio::DriverSense,
         .senseWritten = 18, .resid = 2352, .opcode = scsi::op::ReadCd, .dataLength = 2352,
         .expectedStatus = Check, .expectedSenseLength = 18, .expectedResidual = 2352},
        {.name = "DriverSenseAloneIsNormal", .driver = sgio::DriverSense},
        // The drive's CHECK CONDITION counts before the host adapter's status: a UNIT ATTENTION must
        // still reach the transport's retry.
        {.name = "CheckConditionWinsOverHostTimeOut", .status = Check, .host = sgio::DidTimeOut,
         .driver = sgio::DriverSense, .senseWritten = 18, .expectedStatus = Check, .expectedSenseLength = 18},
        {.name = "HostNoConnectWithGoodStatus", .host = sgio::DidNoConnect, .transport = T::HostError},
        {.name = "DriverErrorWithSenseFlag", .driver = sgio::DriverError | sgio::DriverSense,
         .transport = T::DriverError},
        {.name = "ResidOnInquiryIsNormal", .resid = 60, .expectedResidual = 60},
        {.name = "ResidOnRead10IsShortRead", .resid = 1, .opcode = scsi::op::Read10, .dataLength = 2048,
         .transport = T::ShortRead, .expectedResidual = 1},
        {.name = "NegativeResidIsNoShortRead", .resid = -4, .opcode = scsi::op::ReadCd, .dataLength = 2352}
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SgIoReturn io;
        io.ioctlResult = c.ioctlResult, io.osError = c.osError, io.status = c.status;
        io.hostStatus = c.host, io.driverStatus = c.driver, io.sense = c.sense;
        io.senseWritten = c.senseWritten, io.resid = c.resid, io.opcode = c.opcode,
        io.dataLength = c.dataLength;
        const ScsiResult r = ClassifySgIo(io);
        EXPECT_EQ(r.transport, c.transport);
        EXPECT_EQ(std::tuple(r.status, r.senseLength, r.residual, r.osError),
                  std::tuple(c.expectedStatus, c.expectedSenseLength, c.expectedResidual, c.expectedOsError));
        if (r.senseLength > 0) {
            EXPECT_EQ(r.SenseKey(), c.sense[2] & 0x0F) << "the key is read from the bytes kept";
        }
        for (std::size_t i = 0; i < r.senseLength; ++i)
            EXPECT_EQ(r.sense[i], c.sense[i]) << "sense byte " << i;
    }
}

// Odd allocation lengths go to ATAPI drives one byte longer; only where the command block carries that very
// length.
TEST(SgIoOutcome, OddAllocationLengthsAreFoundWhereEachCommandKeepsThem)
{
    const std::uint8_t sessions[10] = {0x43, 0, 1, 0, 0, 0, 0, 0x00, 0x09, 0};
    EXPECT_EQ(OddAllocationLengthAt(sessions, 9), std::optional<std::size_t>{7});
    EXPECT_FALSE(OddAllocationLengthAt(sessions, 12)) << "even: as it is";
    EXPECT_FALSE(OddAllocationLengthAt(sessions, 11)) << "the block says 9, not 11";
    const std::uint8_t largest[10] = {0x43, 0, 1, 0, 0, 0, 0, 0xFF, 0xFF, 0};
    EXPECT_FALSE(OddAllocationLengthAt(largest, 0xFFFF)) << "no room for one byte more";
    const std::uint8_t structure[12] = {0xAD, 0, 0, 0, 0, 0, 0, 0, 0x08, 0x05, 0, 0};
    EXPECT_EQ(OddAllocationLengthAt(structure, 2053), std::optional<std::size_t>{8});
    const std::uint8_t inquiry[6] = {0x12, 0, 0, 0, 0x25, 0};
    EXPECT_EQ(OddAllocationLengthAt(inquiry, 37), std::optional<std::size_t>{3});
    const std::uint8_t readCd[12] = {0xBE, 0x04, 0, 0, 0, 0, 0, 0, 0x01, 0xF8, 0, 0};
    EXPECT_FALSE(OddAllocationLengthAt(readCd, 2353)) << "sector reads have no allocation length";
}

} // namespace
} // namespace tolvane
