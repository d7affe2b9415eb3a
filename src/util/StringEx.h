// Cutting and testing strings. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

class StringEx {
public:
    // Splits `buffer` at every occurrence of `delimiter` (exact, case-sensitive) and keeps the
    // non-empty pieces in `items`; an empty delimiter keeps the whole buffer as one piece.
    // True when `count` > 0. More pieces than a 16-bit count holds, or running out of memory, is
    // a failure: `count` 0, `items` empty, false.
    static bool Enumerate(const std::string& buffer, const std::string& delimiter, std::int16_t& count,
                          std::vector<std::string>& items);

    // The text between the first `begindelimiter` and the first `enddelimiter` after it; empty
    // when either is missing. An empty begin delimiter matches at the start, an empty end
    // delimiter right after the begin delimiter.
    static std::string Extract(std::string_view buffer, std::string_view begindelimiter,
                               std::string_view enddelimiter);

    // True when `buffer` equals its lower-case (upper-case) form, so also for a text without
    // letters. Letters are those of ASCII, Latin-1 and the Western Windows code page (Œ, Š, Ž, Ÿ);
    // other characters, and bytes that are not valid UTF-8, count as having no case.
    static bool IsLowerCase(std::string_view buffer);
    static bool IsUpperCase(std::string_view buffer);

    // `buffer` up to, not including, its first NUL; the whole buffer when it holds none.
    static std::string ZTrim(std::string_view buffer);
};

} // namespace tolvane
