// A virtual drive's reading habits and a disc's scratches as a user writes them on the command
// line, for trying a secure rip without a scratched disc:
//
//   read model   "offset=+6,c2=off,cache=1024,overread" (any of these, in any order)
//   damage       "LBA[+COUNT][:KIND]", KIND one of vary (wrong bytes that change, the default),
//                same (the same wrong bytes each time), unflagged (wrong bytes C2 does not
//                flag), fails (reads that fail) and lost (never read right)
#pragma once

#include "emulator/EmulatedDrive.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvane::emulator {

struct DamageRange {
    std::int32_t first = 0;
    std::int32_t count = 1;
    Damage damage;
};

// False with `error` saying what is wrong; `model` is changed only by what the text names.
bool ParseReadModel(std::string_view text, ReadModel& model, std::string& error);
bool ParseDamage(std::string_view text, DamageRange& range, std::string& error);

} // namespace tolvane::emulator
