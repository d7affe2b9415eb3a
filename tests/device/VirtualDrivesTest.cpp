#include "device/platform/VirtualDrives.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolvane {
namespace {

class SilentDrive : public VirtualDrive {
public:
    ScsiResult Execute(std::span<const std::uint8_t>, std::span<std::uint8_t>) override
    {
        return ScsiResult::Success();
    }
};

TEST(VirtualDriveRegistry, GivesLettersFromDInAttachOrderAndRefusesNull)
{
    VirtualDriveRegistry registry;
    EXPECT_EQ(registry.Attach(nullptr), "");
    EXPECT_EQ(registry.Find("D:"), nullptr);
    std::vector<std::shared_ptr<VirtualDrive>> drives;
    for (int i = 0; i < 23; ++i) {
        drives.push_back(std::make_shared<SilentDrive>());
        EXPECT_EQ(registry.Attach(drives.back()), std::string(1, static_cast<char>('D' + i)) + ":");
    }
    EXPECT_EQ(registry.Attach(std::make_shared<SilentDrive>()), "") << "Z: is the last letter";
    EXPECT_EQ(registry.Count(), 23u);
    EXPECT_EQ(registry.Find("D:"), drives[0]);
    EXPECT_EQ(registry.Find("e"), drives[1]);
    EXPECT_EQ(registry.Find("Z:\\"), drives[22]);
    EXPECT_EQ(registry.Find("C:"), nullptr);
}

TEST(VirtualDriveRegistry, LetterOfParsesDriveStrings)
{
    const std::pair<const char*, char> cases[] = {
        {"d", 'D'}, {"D:", 'D'}, {"D:\\", 'D'}, {"a:", 'A'},  {"z:", 'Z'},      {"", 0},   {"1:", 0},
        {"DE", 0},  {"D;", 0},   {"D:/", 0},    {"D:\\x", 0}, {"\\\\.\\D:", 0}, {"@:", 0}, {"[:", 0}};
    for (const auto& [drive, letter] : cases)
        EXPECT_EQ(VirtualDriveRegistry::LetterOf(drive), letter) << drive;
}

} // namespace
} // namespace tolvane
