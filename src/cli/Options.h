// What the command line asked for, after parsing.
#pragma once

#include "emulator/Attach.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::cli {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
constexpr int ExitInterrupted = 130;

// "1,3-5" into 1, 3, 4, 5 (sorted, without repeats); nothing when the text is not such a list.
std::optional<std::vector<int>> ParseTrackList(const std::string& text);

// "D", "d:" or "D:" into "D:"; empty when it is not a drive letter.
std::string NormalizeDrive(const std::string& text);

} // namespace tolvane::cli
