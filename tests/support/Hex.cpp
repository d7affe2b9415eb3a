#include "support/Hex.h"

#include <stdexcept>
#include <string>

namespace tolvane::test {

std::vector<std::uint8_t> Hex(std::string_view text)
{
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (const char c : text) {
        const int n = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (n < 0) {
            if (high >= 0)
                throw std::invalid_argument("odd hex digit before '" + std::string(1, c) + "'");
            continue;
        }
        if (high < 0) {
            high = n;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | n));
            high = -1;
        }
    }
    if (high >= 0)
        throw std::invalid_argument("odd number of hex digits");
    return bytes;
}

} // namespace tolvane::test
