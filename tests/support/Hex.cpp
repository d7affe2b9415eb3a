#include "support/Hex.h"

#include <stdexcept>
#include <string>

namespace tolvane::test {

namespace {
int Nibble(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}
} // namespace

std::vector<std::uint8_t> Hex(std::string_view text)
{
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (const char c : text) {
        const int n = Nibble(c);
        if (n < 0) {
            if (high >= 0) {
                throw std::invalid_argument("odd hex digit before '" + std::string(1, c) + "'");
            }
            continue;
        }
        if (high < 0) {
            high = n;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | n));
            high = -1;
        }
    }
    if (high >= 0) {
        throw std::invalid_argument("odd number of hex digits");
    }
    return bytes;
}

} // namespace tolvane::test
