// The drive list: which letters become entries and what each entry says.
#include "device/OpticalDrives.h"
#include "support/FakePlatform.h"
#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace tolvane {
namespace {

constexpr std::uint8_t OpInquiry = 0x12;
constexpr std::uint8_t OpModeSense = 0x5A;

// Standard INQUIRY data with the three identification fields (given at their full widths).
std::vector<std::uint8_t> InquiryData(const std::string& vendor, const std::string& product,
                                      const std::string& revision)
{
    std::vector<std::uint8_t> data(36);
    data[0] = 0x05; // CD/DVD device
    data[4] = 31;   // additional length
    std::copy(vendor.begin(), vendor.end(), data.begin() + 8);
    std::copy(product.begin(), product.end(), data.begin() + 16);
    std::copy(revision.begin(), revision.end(), data.begin() + 32);
    return data;
}

// MODE SENSE(10) answer: the 8-byte header, then the capabilities page cut at 22 bytes.
std::vector<std::uint8_t> CapabilitiesData(std::uint16_t readMax, std::uint16_t readCurrent,
                                           std::uint16_t writeMax, std::uint16_t writeCurrent)
{
    std::vector<std::uint8_t> data(30);
    PutBe16(data, 0, 0x3A); // mode data length of the whole page
    data[8] = 0x2A;         // page code
    data[9] = 0x32;         // page length
    PutBe16(data, 8 + 8, readMax);
    PutBe16(data, 8 + 14, readCurrent);
    PutBe16(data, 8 + 18, writeMax);
    PutBe16(data, 8 + 20, writeCurrent);
    return data;
}

fake::FakeDrive& AddCdDrive(fake::FakePlatform& platform, char letter, const std::string& vendor = "VENDOR  ")
{
    fake::FakeDrive& drive = platform.AddDrive(letter);
    drive.RespondTo(OpInquiry, InquiryData(vendor, "PRODUCT NAME 16C", "1.00"));
    drive.RespondTo(OpModeSense, CapabilitiesData(7056, 1411, 1408, 704));
    return drive;
}

TEST(OpticalDrives, OneDriveAtE)
{
    fake::FakePlatform platform;
    AddCdDrive(platform, 'E', "ABCD    ");
    OpticalDrives drives(platform);

    ASSERT_EQ(drives.Count(), 1);
    const OpticalDriveItem* item = drives.Item(0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item, drives.Item(0)) << "the same object on every call";
    EXPECT_EQ(item->Letter(), "E:");
    EXPECT_EQ(item->Interface(), "SPTI");
    EXPECT_EQ(item->Manufacturer(), "ABCD    ");
    EXPECT_EQ(item->Name(), "PRODUCT NAME 16C");
    EXPECT_EQ(item->Revision(), "1.00");
    EXPECT_EQ(item->ReadMaximumSpeed(), 40);
    EXPECT_EQ(item->ReadCurrentSpeed(), 8);
    EXPECT_EQ(item->WriteMaximumSpeed(), 8);
    EXPECT_EQ(item->WriteCurrentSpeed(), 4);
    EXPECT_EQ(drives.Item(1), nullptr);
    EXPECT_EQ(drives.Item(-1), nullptr);
    EXPECT_EQ(platform.OpenHandles(), 0);
}

TEST(OpticalDrives, SendsInquiryThenCapabilitiesPage)
{
    fake::FakePlatform platform;
    AddCdDrive(platform, 'E');
    OpticalDrives drives(platform);

    const auto& sent = platform.Commands();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].cdb, (std::vector<std::uint8_t>{0x12, 0x00, 0x00, 0x00, 0x24, 0x00}));
    EXPECT_EQ(sent[0].dataLength, 36u);
    EXPECT_EQ(sent[1].cdb,
              (std::vector<std::uint8_t>{0x5A, 0x00, 0x2A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1E, 0x00}));
    EXPECT_EQ(sent[1].dataLength, 30u);
}

struct SpeedCase {
    std::uint16_t field;
    std::int16_t speed;
};

class Speeds : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(Speeds, AreSignedAndTruncatedTowardZero)
{
    // Each of the four fields in turn carries the value; the others hold their own, so
    // a field read from the wrong offset shows.
    const SpeedCase c = GetParam();
    for (int position = 0; position < 4; ++position) {
        std::uint16_t fields[4] = {176, 352, 528, 704};
        fields[position] = c.field;
        fake::FakePlatform platform;
        AddCdDrive(platform, 'D')
            .RespondTo(OpModeSense, CapabilitiesData(fields[0], fields[1], fields[2], fields[3]));
        OpticalDrives drives(platform);
        ASSERT_EQ(drives.Count(), 1);
        const OpticalDriveItem& item = *drives.Item(0);

        std::int16_t expected[4] = {1, 2, 3, 4};
        expected[position] = c.speed;
        EXPECT_EQ(item.ReadMaximumSpeed(), expected[0]) << "position " << position;
        EXPECT_EQ(item.ReadCurrentSpeed(), expected[1]) << "position " << position;
        EXPECT_EQ(item.WriteMaximumSpeed(), expected[2]) << "position " << position;
        EXPECT_EQ(item.WriteCurrentSpeed(), expected[3]) << "position " << position;
    }
}

INSTANTIATE_TEST_SUITE_P(PageValues, Speeds,
                         ::testing::Values(SpeedCase{7056, 40}, SpeedCase{1411, 8}, SpeedCase{175, 0},
                                           SpeedCase{0, 0}, SpeedCase{0x7FFF, 186}, SpeedCase{0x8000, -186},
                                           SpeedCase{0xFF50, -1}, SpeedCase{0xFFFF, 0}));

TEST(OpticalDrives, CapabilitiesPageFailingLeavesSpeedsZero)
{
    fake::FakePlatform platform;
    AddCdDrive(platform, 'D')
        .RespondTo(OpModeSense, ScsiResult::CheckCondition(5, 0x24, 0),
                   CapabilitiesData(7056, 7056, 7056, 7056));
    OpticalDrives drives(platform);

    ASSERT_EQ(drives.Count(), 1);
    const OpticalDriveItem& item = *drives.Item(0);
    EXPECT_EQ(item.Manufacturer(), "VENDOR  ");
    EXPECT_EQ(item.ReadMaximumSpeed(), 0);
    EXPECT_EQ(item.ReadCurrentSpeed(), 0);
    EXPECT_EQ(item.WriteMaximumSpeed(), 0);
    EXPECT_EQ(item.WriteCurrentSpeed(), 0);
}

TEST(OpticalDrives, DriveFailingInquiryIsLeftOut)
{
    fake::FakePlatform platform;
    AddCdDrive(platform, 'D').RespondTo(OpInquiry, ScsiResult::CheckCondition(2, 0x04, 0x01));
    AddCdDrive(platform, 'E');
    OpticalDrives drives(platform);

    ASSERT_EQ(drives.Count(), 1);
    EXPECT_EQ(drives.Item(0)->Letter(), "E:");
    EXPECT_EQ(platform.CommandsTo('D').size(), 1u) << "no MODE SENSE after a failed INQUIRY";
    EXPECT_EQ(platform.OpenHandles(), 0);
}

TEST(OpticalDrives, StepThatThrowsIsSkipped)
{
    fake::FakePlatform platform;
    // D: throws on INQUIRY and is left out; E: throws on MODE SENSE and keeps speeds 0.
    AddCdDrive(platform, 'D').handler = [](std::span<const std::uint8_t>,
                                           std::span<std::uint8_t>) -> ScsiResult {
        throw std::runtime_error("drive vanished");
    };
    AddCdDrive(platform, 'E').handler = [](std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data) {
        if (cdb[0] == OpModeSense) {
            throw std::runtime_error("mode page");
        }
        const auto inquiry = InquiryData("THROWING", "MODE SENSE      ", "0001");
        std::copy_n(inquiry.begin(), data.size(), data.begin());
        return ScsiResult::Success();
    };
    AddCdDrive(platform, 'F');
    OpticalDrives drives(platform);

    ASSERT_EQ(drives.Count(), 2);
    EXPECT_EQ(drives.Item(0)->Letter(), "E:");
    EXPECT_EQ(drives.Item(0)->Manufacturer(), "THROWING");
    EXPECT_EQ(drives.Item(0)->ReadMaximumSpeed(), 0);
    EXPECT_EQ(drives.Item(1)->Letter(), "F:");
    EXPECT_EQ(drives.Item(1)->ReadMaximumSpeed(), 40);
    EXPECT_EQ(platform.OpenHandles(), 0);
}

TEST(OpticalDrives, OnlyLettersCToZInOrder)
{
    fake::FakePlatform platform;
    for (const char letter : {'Z', 'B', 'F', 'A', 'C', 'D'}) {
        AddCdDrive(platform, letter);
    }
    platform.AddDrive('E').openFails = true; // listed by the system, but cannot be opened
    OpticalDrives drives(platform);

    std::vector<std::string> letters;
    for (std::int16_t i = 0; i < drives.Count(); ++i) {
        letters.push_back(drives.Item(i)->Letter());
    }
    EXPECT_EQ(letters, (std::vector<std::string>{"C:", "D:", "F:", "Z:"}));
    EXPECT_TRUE(platform.CommandsTo('A').empty());
    EXPECT_TRUE(platform.CommandsTo('B').empty());
    EXPECT_EQ(platform.OpenHandles(), 0);
}

TEST(OpticalDrives, NoCdRomLettersOpensNothing)
{
    fake::FakePlatform platform;
    AddCdDrive(platform, 'D').optical = false; // a hard disk that would even answer
    OpticalDrives drives(platform);

    EXPECT_EQ(drives.Count(), 0);
    EXPECT_EQ(drives.Item(0), nullptr);
    EXPECT_EQ(platform.Opens(), 0);
    EXPECT_TRUE(platform.Commands().empty());
}

TEST(OpticalDrives, IdentificationKeepsEveryByte)
{
    fake::FakePlatform platform;
    // A NUL inside the vendor and Latin-1 letters in the product stay, one character per byte.
    AddCdDrive(platform, 'D')
        .RespondTo(OpInquiry, InquiryData(std::string("AB\0D    ", 8),
                                          "K\xD6LN \xE9"
                                          "DITION    ",
                                          "\xFF"
                                          "1.0"));
    OpticalDrives drives(platform);

    ASSERT_EQ(drives.Count(), 1);
    EXPECT_EQ(drives.Item(0)->Manufacturer(), std::string("AB\0D    ", 8));
    EXPECT_EQ(drives.Item(0)->Name(), "K\u00D6LN \u00E9DITION    ");
    EXPECT_EQ(drives.Item(0)->Revision(), "\u00FF1.0");
}

TEST(OpticalDrives, AspiDrivesShowTheirInterface)
{
    fake::FakePlatform platform;
    platform.SetAspiLibrary(true, true);
    AddCdDrive(platform, 'D');
    platform.AddAspiDrive('D', 0, 1);
    OpticalDrives drives(platform);

    ASSERT_EQ(drives.Count(), 1);
    EXPECT_EQ(drives.Item(0)->Interface(), "ASPI");
    EXPECT_EQ(drives.Item(0)->ReadMaximumSpeed(), 40);
    ASSERT_FALSE(platform.Commands().empty());
    EXPECT_TRUE(platform.Commands().front().viaAspi);
}

} // namespace
} // namespace tolvane
