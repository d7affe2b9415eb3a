#include "util/FormatEx.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <locale>
#include <string>
#include <vector>

namespace tolvane {
namespace {

constexpr std::int32_t Min32 = std::numeric_limits<std::int32_t>::min();

TEST(FormatExTest, FormatHex)
{
    const struct {
        std::int32_t number;
        std::int16_t digits;
        const char *delimiter, *expected;
        bool sixteenBits = false;                                          // the std::int16_t overload
    } cases[] = {{10, 4, "", "000A"},           {0x12345, 2, "", "12345"}, // never cut
                 {-1, 2, "h", "FFFFFFFFh"},     {255, 4, "0X", "0X00FF"},  // the delimiter kept as passed
                 {171, 2, "abc", "AB"},                                    // any other delimiter is dropped
                 {171, 2, "0xh", "AB"},         {0, -3, "", "0"},
                 {Min32, 0, "", "80000000"},    {-1, 2, "", "FFFF", true},
                 {-32768, 0, "", "8000", true}, {255, 4, "h", "00FFh", true},
                 {-2, 6, "", "00FFFE", true}};
    for (const auto& c : cases) {
        const auto narrow = static_cast<std::int16_t>(c.number);
        EXPECT_EQ(c.sixteenBits ? FormatEx::FormatHex(narrow, c.digits, c.delimiter)
                                : FormatEx::FormatHex(c.number, c.digits, c.delimiter),
                  c.expected)
            << c.number << " digits " << c.digits << " '" << c.delimiter << "'"
            << (c.sixteenBits ? " 16" : "");
    }
}

TEST(FormatExTest, FormatSerialNumber)
{
    const std::pair<std::int32_t, const char*> cases[] = {
        {0x1A2B3C4D, "1A2B-3C4D"}, {255, "0000-00FF"}, {Min32, "8000-0000"}};
    for (const auto& [number, expected] : cases)
        EXPECT_EQ(FormatEx::FormatSerialNumber(number), expected) << number;
}

TEST(FormatExTest, FormatIP4MACAndIP6)
{
    const struct {
        std::vector<std::uint8_t> address;
        const char *ip4, *mac;
    } cases[] = {{{10, 0, 0}, "", ""},
                 {{0x00, 0xA0, 0xC9, 0x14, 0xC8}, "0.160.201.20", ""},
                 {{0x00, 0xA0, 0xC9, 0x14, 0xC8, 0x29}, "0.160.201.20", "00-A0-C9-14-C8-29"},
                 {{255, 254, 1, 0, 15, 16, 99}, "255.254.1.0", "FF-FE-01-00-0F-10"}};
    for (const auto& c : cases) {
        EXPECT_EQ(FormatEx::FormatIP4(c.address), c.ip4) << c.address.size() << " bytes";
        EXPECT_EQ(FormatEx::FormatMAC(c.address), c.mac) << c.address.size() << " bytes";
    }
    const std::pair<std::vector<std::int16_t>, const char*> ip6[] = {
        {{0x2001, 0x0DB8, 0, 1, -1}, ""},
        {{0x2001, 0x0DB8, 0, 1, -1, 0x00AB}, "2001:DB8:0:1:FFFF:AB"},
        {{1, 2, 3, 4, 5, 6, 7, 8}, "1:2:3:4:5:6"} // six groups only
    };
    for (const auto& [address, expected] : ip6)
        EXPECT_EQ(FormatEx::FormatIP6(address), expected) << address.size() << " groups";
}

class Punctuation : public std::numpunct<char> {
public:
    Punctuation(char separator, std::string grouping) : separator_(separator), grouping_(std::move(grouping))
    {
    }

protected:
    char do_thousands_sep() const override { return separator_; }
    std::string do_grouping() const override { return grouping_; }

private:
    char separator_;
    std::string grouping_;
};

TEST(FormatExTest, FormatMemory)
{
    const std::locale english(std::locale::classic(), new Punctuation(',', "\3"));
    constexpr std::int64_t TB = std::int64_t{1} << 40;
    const auto W = FixedPoint::FromWhole;
    const struct {
        FixedPoint size;
        std::int32_t unit;
        const char* expected;
    } cases[] = {{W(1536), 1, "2 KB"},
                 {W(1234567), 5, "1,234,567 bytes"},
                 {W(1234567), -1, "1,234,567 bytes"},
                 {W(1234567), 1, "1,206 KB"},
                 // Halves go away from zero, not to the even neighbour.
                 {W(512), 1, "1 KB"},
                 {W(511), 1, "0 KB"},
                 {W(-512), 1, "-1 KB"},
                 {W(3 * TB / 2), 4, "2 TB"},
                 // Beyond 2^40 bytes every digit counts.
                 {W(TB + 1), 0, "1,099,511,627,777 bytes"},
                 {W(TB + 1), 3, "1,024 GB"}};
    for (const auto& c : cases)
        EXPECT_EQ(FormatEx::FormatMemory(c.size, c.unit, english), c.expected)
            << c.size.ToString() << " unit " << c.unit;

    const std::locale indian(std::locale::classic(), new Punctuation('.', "\3\2"));
    EXPECT_EQ(FormatEx::FormatMemory(W(123456789), 0, indian), "12.34.56.789 bytes");
    EXPECT_EQ(FormatEx::FormatMemory(W(123456789), 0, std::locale::classic()), "123456789 bytes");
    // The user's locale: numbers below a thousand look the same in every one.
    EXPECT_EQ(FormatEx::FormatMemory(W(1536), 1), "2 KB");
}

} // namespace
} // namespace tolvane
