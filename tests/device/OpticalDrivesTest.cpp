// The drive list: which letters become entries and what each entry says.
#include "device/OpticalDrives.h"
#include "support/FakePlatform.h"
#include "support/Hex.h"
#include "util/ByteOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
    PutBe16(data, 0, 0x3A);         // mode data length of the whole page
    data[8] = 0x2A, data[9] = 0x32; // page code and length
    PutBe16(data, 8 + 8, readMax);
    PutBe16(data, 8 + 14, readCurrent);
    PutBe16(data, 8 + 18, writeMax);
    PutBe16(data, 8 + 20, writeCurrent);
    return data;
}

fake::FakeDrive& AddCdDrive(fake::FakePlatform& platform, char letter)
{
    fake::FakeDrive& drive = platform.AddDrive(letter);
    drive.RespondTo(OpInquiry, InquiryData("VENDOR  ", "PRODUCT NAME 16C", "1.00"));
    drive.RespondTo(OpModeSense, CapabilitiesData(7056, 1411, 1408, 704));
    return drive;
}

// Read maximum, read current, write maximum, write current.
std::array<int, 4> Speeds(const OpticalDriveItem& item)
{
    return {item.ReadMaximumSpeed(), item.ReadCurrentSpeed(), item.WriteMaximumSpeed(),
            item.WriteCurrentSpeed()};
}

TEST(OpticalDrives, OneDriveAtESendsInquiryThenCapabilitiesPage)
{
    fake::FakePlatform platform;
    // A NUL inside the vendor and Latin-1 letters in the product stay, one character per byte.
    const std::string vendor("AB\0D    ", 8);
    AddCdDrive(platform, 'E')
        .RespondTo(OpInquiry, InquiryData(vendor,
                                          "K\xD6LN \xE9"
                                          "DITION    ",
                                          "\xFF"
                                          "1.0"));
    OpticalDrives drives(platform);
    ASSERT_EQ(drives.Count(), 1);
    const OpticalDriveItem* item = drives.Item(0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(
        std::tuple(item->Letter(), item->Interface(), item->Manufacturer(), item->Name(), item->Revision()),
        std::tuple("E:", "SPTI", vendor, "K\u00D6LN \u00E9DITION    ", "\u00FF1.0"));
    EXPECT_EQ(Speeds(*item), (std::array{40, 8, 8, 4}));
    EXPECT_EQ(drives.Item(1), nullptr);
    EXPECT_EQ(drives.Item(-1), nullptr);

    const auto& sent = platform.Commands();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].cdb, test::Hex("12 00 00 00 24 00"));
    EXPECT_EQ(sent[0].dataLength, 36u);
    EXPECT_EQ(sent[1].cdb, test::Hex("5A 00 2A 00 00 00 00 00 1E 00"));
    EXPECT_EQ(sent[1].dataLength, 30u);
}

TEST(OpticalDrives, SpeedsAreSignedAndTruncatedTowardZero)
{
    const std::pair<std::uint16_t, int> cases[] = {
        {175, 0}, {0x7FFF, 186}, {0x8000, -186}, {0xFF50, -1}, {0xFFFF, 0}};
    for (const auto& [field, speed] : cases) {
        fake::FakePlatform platform;
        AddCdDrive(platform, 'D').RespondTo(OpModeSense, CapabilitiesData(field, 0, 0, 0));
        OpticalDrives drives(platform);
        ASSERT_EQ(drives.Count(), 1);
        EXPECT_EQ(drives.Item(0)->ReadMaximumSpeed(), speed) << field;
    }
}

TEST(OpticalDrives, FailuresLeaveOutTheDriveOrItsSpeeds)
{
    fake::FakePlatform platform;
    // C: fails INQUIRY and is left out; D: fails the capabilities page and keeps speeds 0.
    AddCdDrive(platform, 'C').RespondTo(OpInquiry, ScsiResult::CheckCondition(2, 0x04, 0x01));
    AddCdDrive(platform, 'D')
        .RespondTo(OpModeSense, ScsiResult::CheckCondition(5, 0x24, 0),
                   CapabilitiesData(7056, 7056, 7056, 7056));
    // E: throws on INQUIRY and is left out; F: throws on MODE SENSE, a step guarded on its own, and stays.
    AddCdDrive(platform, 'E').handler = [](std::span<const std::uint8_t>,
                                           std::span<std::uint8_t>) -> ScsiResult {
        throw std::runtime_error("drive vanished");
    };
    AddCdDrive(platform, 'F').handler = [](std::span<const std::uint8_t> cdb, std::span<std::uint8_t>) {
        if (cdb[0] == OpModeSense)
            throw std::runtime_error("mode page");
        return ScsiResult::Success();
    };
    AddCdDrive(platform, 'G');
    OpticalDrives drives(platform);

    ASSERT_EQ(drives.Count(), 3);
    EXPECT_EQ(std::tuple(drives.Item(0)->Letter(), drives.Item(0)->Manufacturer()),
              std::tuple("D:", "VENDOR  "));
    for (const int i : {0, 1})
        EXPECT_EQ(Speeds(*drives.Item(i)), (std::array{0, 0, 0, 0})) << i;
    EXPECT_EQ(drives.Item(1)->Letter(), "F:");
    EXPECT_EQ(drives.Item(2)->Letter(), "G:");
    EXPECT_EQ(drives.Item(2)->ReadMaximumSpeed(), 40);
    EXPECT_EQ(std::ranges::count(platform.Commands(), 'C', &fake::SentCommand::letter), 1)
        << "no MODE SENSE after a failed INQUIRY";
    EXPECT_EQ(platform.OpenHandles(), 0);
}

TEST(OpticalDrives, OnlyLettersCToZInOrder)
{
    fake::FakePlatform platform;
    for (const char letter : {'Z', 'B', 'F', 'A', 'C', 'D'})
        AddCdDrive(platform, letter);
    platform.AddDrive('E').openFails = true; // listed by the system, but cannot be opened
    OpticalDrives drives(platform);
    std::vector<std::string> letters;
    for (std::int16_t i = 0; i < drives.Count(); ++i)
        letters.push_back(drives.Item(i)->Letter());
    EXPECT_EQ(letters, (std::vector<std::string>{"C:", "D:", "F:", "Z:"}));
    EXPECT_TRUE(std::ranges::none_of(platform.Commands(), [](const auto& c) { return c.letter < 'C'; }));

    fake::FakePlatform noCdRom;
    AddCdDrive(noCdRom, 'D').optical = false; // a hard disk that would even answer
    OpticalDrives none(noCdRom);
    EXPECT_EQ(std::tuple(none.Count(), noCdRom.Opens()), std::tuple(0, 0));
}

} // namespace
} // namespace tolvane
