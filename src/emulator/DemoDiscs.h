// The built-in demo discs, generated in code: an audio CD with CD-Text and a
// dual-layer DVD-ROM with a small ISO 9660 volume.
#pragma once

#include "emulator/Disc.h"

#include <memory>

namespace tolvane::emulator {

std::shared_ptr<const Disc> MakeDemoCd();
std::shared_ptr<const Disc> MakeDemoDvd();

} // namespace tolvane::emulator
