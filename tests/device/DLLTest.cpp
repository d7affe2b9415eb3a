#include "device/DLL.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace tolvane {
namespace {

// Every Linux process has the C library loaded; the probe finds it by its soname.
constexpr const char* CLibrary = "libc.so.6";
constexpr const char* Missing = "/nonexistent/WnAspi32.dll";

std::uint32_t Le32At(const std::array<unsigned char, 20>& record, std::size_t offset)
{
    return std::uint32_t{record[offset]} | std::uint32_t{record[offset + 1]} << 8 |
           std::uint32_t{record[offset + 2]} << 16 | std::uint32_t{record[offset + 3]} << 24;
}

struct ProbeCase {
    std::string name;
    std::string file;
    std::string routine;
    bool available;
    bool fileNameSet;
};

class DLLIsAvailableTest : public testing::TestWithParam<ProbeCase> {};

TEST_P(DLLIsAvailableTest, AnswersAndRecordsThePath)
{
    const ProbeCase& c = GetParam();
    DLL dll;
    // A name left over from an earlier probe must not survive a failed load.
    ASSERT_TRUE(dll.IsAvailable(TOLVANE_PROBE_FIXTURE));
    ASSERT_FALSE(dll.FileName().empty());

    EXPECT_EQ(dll.IsAvailable(c.file, c.routine), c.available);
    if (c.fileNameSet) {
        ASSERT_FALSE(dll.FileName().empty());
        EXPECT_EQ(dll.FileName().front(), '/') << dll.FileName();
        EXPECT_NE(dll.FileName().find("libc"), std::string::npos) << dll.FileName();
    } else {
        EXPECT_EQ(dll.FileName(), "");
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, DLLIsAvailableTest, testing::Values(
    ProbeCase{"MissingFile", Missing, "", false, false},
    ProbeCase{"MissingFileWithRoutine", Missing, "SendASPI32Command", false, false},
    ProbeCase{"AspiLibraryByName", "WnAspi32.dll", "GetASPI32SupportInfo", false, false},
    ProbeCase{"EmptyName", "", "", false, false},
    ProbeCase{"LibraryWithoutRoutine", CLibrary, "", true, true},
    ProbeCase{"LibraryExportingRoutine", CLibrary, "printf", true, true},
    ProbeCase{"LibraryLackingRoutine", CLibrary, "SendASPI32Command", false, true}
), [](const testing::TestParamInfo<ProbeCase>& info) { return info.param.name; });
// clang-format on

TEST(DLL, FileNameOfAPathIsThatPath)
{
    DLL dll;
    EXPECT_TRUE(dll.IsAvailable(TOLVANE_PROBE_FIXTURE, "DllGetVersion"));
    EXPECT_EQ(dll.FileName(), TOLVANE_PROBE_FIXTURE);
}

TEST(DLL, GetVersionCallsTheRoutineAndIgnoresItsFailure)
{
    DLL dll;
    std::array<unsigned char, 20> dvi{20}; // cbSize = 20, the rest zero
    EXPECT_TRUE(dll.GetVersion(TOLVANE_PROBE_FIXTURE, dvi.data()));
    EXPECT_EQ(dll.FileName(), TOLVANE_PROBE_FIXTURE);
    EXPECT_EQ(Le32At(dvi, 0), 20u);
    EXPECT_EQ(Le32At(dvi, 4), 4u);
    EXPECT_EQ(Le32At(dvi, 8), 71u);
    EXPECT_EQ(Le32At(dvi, 12), 3000u);
}

TEST(DLL, GetVersionWithoutTheRoutineIsFalseButSetsFileName)
{
    DLL dll;
    std::array<unsigned char, 20> dvi{20};
    EXPECT_FALSE(dll.GetVersion(CLibrary, dvi.data()));
    EXPECT_NE(dll.FileName().find("libc"), std::string::npos);
    EXPECT_EQ(Le32At(dvi, 4), 0u);
}

TEST(DLL, GetVersionOfAMissingFileKeepsTheEarlierFileName)
{
    DLL dll;
    std::array<unsigned char, 20> dvi{20};
    ASSERT_TRUE(dll.GetVersion(TOLVANE_PROBE_FIXTURE, dvi.data()));
    dvi = {20};
    EXPECT_FALSE(dll.GetVersion(Missing, dvi.data()));
    EXPECT_EQ(dll.FileName(), TOLVANE_PROBE_FIXTURE);
    EXPECT_EQ(Le32At(dvi, 4), 0u);
}

} // namespace
} // namespace tolvane
