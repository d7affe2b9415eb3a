// Response bytes written in tests as hex text, the way drives' answers are
// quoted in logs: "43 02 00 00", with any whitespace between bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tolvane::test {

std::vector<std::uint8_t> Hex(std::string_view text);

} // namespace tolvane::test
