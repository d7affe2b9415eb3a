#include "rip/output/FileName.h"

#include <gtest/gtest.h>

#include <string>

namespace tolvane::rip {
namespace {

TEST(FileNameTest, TemplatesGiveSafeNames)
{
    const NameFields plain{7, "Song", "Singer", "Album", "Band"};
    const std::string longTitle(300, 'x');
    // 239 ASCII bytes, then a two-byte character across the cut at 240.
    const std::string longUtf8 = std::string(239, 'y') + "\xC3\xA9" + "tail";
    const struct {
        const char* pattern;
        NameFields fields;
        std::string expected;
    } cases[] = {
        {"Track %n", plain, "Track 7"},
        {"%N - %t", plain, "07 - Song"},
        {"%A - %T - %N - %a - %t", plain, "Band - Album - 07 - Singer - Song"},
        {"%N %n", {123, "", "", "", ""}, "123 123"},
        {"100%% %t", plain, "100% Song"},
        {"%x %t %", plain, "%x Song %"}, // unknown codes and a lone % are text
        {"%N - %t",
         {3, "AC/DC: Who? *Me* \"x\" <y> |z| a\\b", "", "", ""},
         "03 - AC_DC_ Who_ _Me_ _x_ _y_ _z_ a_b"},
        {"%t", {1, "Line\none\ttab\x01\x7F", "", "", ""}, "Line one tab"},
        {"%t", {1, "...hidden. ", "", "", ""}, "hidden"},
        {"%t", {1, " . ", "", "", ""}, "Track 1"},
        {"%N - %t", {4, "", "", "", ""}, "Track 4"},                  // no title: the plain name, not "04 -"
        {"%N - %a - %t", {4, "", "Singer", "", ""}, "04 - Singer -"}, // one text is enough
        {"%t", {2, "con", "", "", ""}, "con_"},
        {"%t", {2, "Nul.live", "", "", ""}, "Nul_.live"},
        {"%t", {2, "Console", "", "", ""}, "Console"},
        {"%t", {5, "Caf\xC3\xA9 \xE2\x99\xAB", "", "", ""}, "Caf\xC3\xA9 \xE2\x99\xAB"},
        {"%t", {6, longTitle, "", "", ""}, std::string(MaxNameBytes, 'x')},
        {"%t", {6, longUtf8, "", "", ""}, std::string(239, 'y')},
        {"%t", {6, std::string(239, 'z') + " x", "", "", ""}, std::string(239, 'z')}, // cut, then trimmed
        {"", plain, "Track 7"},
    };
    for (const auto& [pattern, fields, expected] : cases) {
        SCOPED_TRACE(std::string(pattern) + " / " + fields.title);
        EXPECT_EQ(FileNameFromTemplate(pattern, fields), expected);
    }
    EXPECT_EQ(FileNameFromTemplate(DefaultNameTemplate, plain), "Track 7");
}

} // namespace
} // namespace tolvane::rip
