#include "util/StringEx.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using Items = std::vector<std::string>;

TEST(StringExTest, Enumerate)
{
    const struct {
        const char *buffer, *delimiter;
        Items expected;
    } cases[] = {{"a,,b", ",", {"a", "b"}},
                 {",a,", ",", {"a"}},
                 {",,,", ",", {}},
                 {"a,b", ";", {"a,b"}},
                 {"a<>b<>c", "<>", {"a", "b", "c"}},
                 {"aXbxc", "x", {"aXb", "c"}} /* case-sensitive */,
                 {"abc", "", {"abc"}} /* no delimiter: the whole text is one piece */,
                 {"", "", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "'" << c.buffer << "' at '" << c.delimiter << "'");
        std::int16_t count = -1;
        Items items{"stale"};
        EXPECT_EQ(StringEx::Enumerate(c.buffer, c.delimiter, count, items), !c.expected.empty());
        EXPECT_EQ(count, static_cast<std::int16_t>(c.expected.size()));
        EXPECT_EQ(items, c.expected);
    }
    // Beyond a sixteen-bit count it fails.
    std::string buffer;
    for (int i = 0; i < 32767; ++i)
        buffer += "x,";
    std::int16_t count = 0;
    Items items;
    ASSERT_TRUE(StringEx::Enumerate(buffer, ",", count, items));
    EXPECT_EQ(count, 32767);
    EXPECT_EQ(items.size(), 32767u);
    EXPECT_FALSE(StringEx::Enumerate(buffer + "y", ",", count, items));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(items.empty());
}

TEST(StringExTest, ExtractAndZTrim)
{
    const struct {
        const char *buffer, *begin, *end, *expected;
    } cases[] = {{"[x]", "[", "]", "x"},
                 {"x]", "[", "]", ""},
                 {"[x", "[", "]", ""},
                 {"a[b]c[d]", "[", "]", "b"},
                 {"]a[b]", "[", "]", "b"} /* the end is looked for after the begin */,
                 {"<<x>>", "<<", ">>", "x"},
                 {"Key=v;", "key=", ";", ""} /* case-sensitive */,
                 {"abc", "", "c", "ab"} /* empty begin: from the start */,
                 {"abc", "a", "", ""} /* empty end: found at once */,
                 {"", "", "", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(StringEx::Extract(c.buffer, c.begin, c.end), c.expected)
            << "'" << c.buffer << "' '" << c.begin << "' '" << c.end << "'";
    using namespace std::string_literals;
    const std::pair<std::string, std::string> trims[] = {
        {"abc\0def"s, "abc"}, {"abc", "abc"}, {"\0abc"s, ""}};
    for (const auto& [buffer, expected] : trims)
        EXPECT_EQ(StringEx::ZTrim(buffer), expected) << buffer.size() << " chars";
}

TEST(StringExTest, Case)
{
    const struct {
        const char* text;
        bool lower, upper;
    } cases[] = {
        {"", true, true},
        {"123 !?", true, true},
        {"abc", true, false},
        {"aBc", false, false},
        {"\u00E0", true, false} /* à, the first small letter of Latin-1 */,
        {"\u00C9COLE", false, true},
        {"\u00FF", true, false} /* ÿ, whose capital lies outside Latin-1 */,
        {"\u0178\u0152", false, true},
        {"\u00DF\u00D7\u00F7", true, true} /* ß, ×, ÷ have no case */,
        {"\u65E5\u672C", true, true},
        {"A\xFF", false, true} /* a stray byte has no case */
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StringEx::IsLowerCase(c.text), c.lower) << c.text;
        EXPECT_EQ(StringEx::IsUpperCase(c.text), c.upper) << c.text;
    }
}

} // namespace
} // namespace tolvane
