#include "device/DLL.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace tolvane {
namespace {

// Every Linux process has the C library loaded; the probe finds it by its soname.
constexpr const char* CLibrary = "libc.so.6";
constexpr const char* Missing = "/nonexistent/WnAspi32.dll";
using Dvi = std::array<unsigned char, 20>;

TEST(DLL, IsAvailableAnswersAndRecordsThePath)
{
    const struct {
        const char *file, *routine;
        bool available, fileNameSet;
    } cases[] = {{Missing, "SendASPI32Command", false, false},
                 {"", "", false, false},
                 {CLibrary, "", true, true},
                 {CLibrary, "printf", true, true},
                 {CLibrary, "SendASPI32Command", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.routine);
        DLL dll;
        // A name left over from an earlier probe must not survive a failed load.
        ASSERT_TRUE(dll.IsAvailable(TOLVANE_PROBE_FIXTURE));
        ASSERT_FALSE(dll.FileName().empty());
        EXPECT_EQ(dll.IsAvailable(c.file, c.routine), c.available);
        if (!c.fileNameSet) {
            EXPECT_EQ(dll.FileName(), "");
            continue;
        }
        ASSERT_FALSE(dll.FileName().empty());
        EXPECT_EQ(dll.FileName().front(), '/') << dll.FileName();
        EXPECT_NE(dll.FileName().find("libc"), std::string::npos) << dll.FileName();
    }
}

TEST(DLL, GetVersionCallsTheRoutineAndIgnoresItsFailure)
{
    DLL dll;
    Dvi dvi{20}; // cbSize = 20, the rest zero
    EXPECT_TRUE(dll.GetVersion(TOLVANE_PROBE_FIXTURE, dvi.data()));
    EXPECT_EQ(dll.FileName(), TOLVANE_PROBE_FIXTURE);
    // Major 4, minor 71, build 3000 and platform 2 as the fixture writes them, little-endian.
    EXPECT_EQ(dvi, (Dvi{20, 0, 0, 0, 4, 0, 0, 0, 71, 0, 0, 0, 0xB8, 0x0B, 0, 0, 2}));
    // A missing file keeps the earlier file name.
    dvi = {20};
    EXPECT_FALSE(dll.GetVersion(Missing, dvi.data()));
    EXPECT_EQ(dll.FileName(), TOLVANE_PROBE_FIXTURE);
    // Without the routine it is false but sets the file name; neither call touched the record.
    DLL other;
    EXPECT_FALSE(other.GetVersion(CLibrary, dvi.data()));
    EXPECT_NE(other.FileName().find("libc"), std::string::npos);
    EXPECT_EQ(dvi, Dvi{20});
}

} // namespace
} // namespace tolvane
