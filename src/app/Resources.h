// The compiled-in forms and icons live in a static library; this makes them reachable.
#pragma once

namespace tolvane::app {

// Registers ":/forms/..." and ":/icons/..." once; safe to call again.
void InitResources();

} // namespace tolvane::app
