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
using Dvi = std::array<unsigned char, 20>;

// DLLVERSIONINFO's major, minor and build numbers.
std::array<std::uint32_t, 3> Version(const Dvi& dvi)
{
    std::array<std::uint32_t, 3> out{};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t k = 0; k < 4; ++k)
            out[i] |= std::uint32_t{dvi[4 + 4 * i + k]} << 8 * k;
    return out;
}

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
    EXPECT_EQ(dvi[0], 20);
    EXPECT_EQ(Version(dvi), (std::array<std::uint32_t, 3>{4, 71, 3000}));
    // A missing file keeps the earlier file name.
    dvi = {20};
    EXPECT_FALSE(dll.GetVersion(Missing, dvi.data()));
    EXPECT_EQ(dll.FileName(), TOLVANE_PROBE_FIXTURE);
    EXPECT_EQ(Version(dvi)[0], 0u);
    // Without the routine it is false but sets the file name.
    DLL other;
    EXPECT_FALSE(other.GetVersion(CLibrary, dvi.data()));
    EXPECT_NE(other.FileName().find("libc"), std::string::npos);
    EXPECT_EQ(Version(dvi)[0], 0u);
}

} // namespace
} // namespace tolvane
