#include "emulator/Attach.h"

#include "emulator/DemoDiscs.h"

#include <algorithm>
#include <string>

namespace tolvane::emulator {

namespace {

constexpr std::size_t Letters = 'Z' - VirtualDriveRegistry::FirstLetter + 1;

} // namespace

AttachResult AttachDrives(VirtualDriveRegistry& registry, const std::vector<DriveRequest>& requests,
                          std::shared_ptr<Clock> clock, const LoadOptions& options)
{
    AttachResult result;

    // First every disc (null: an empty drive), so a bad image leaves the registry untouched.
    std::vector<std::shared_ptr<const Disc>> discs;
    for (const DriveRequest& request : requests) {
        switch (request.kind) {
        case DriveRequest::Kind::Image: {
            LoadResult loaded = LoadImage(request.path, options);
            if (!loaded) {
                return AttachResult{false, loaded.error, std::move(loaded.warnings), {}, {}};
            }
            result.warnings.insert(result.warnings.end(), loaded.warnings.begin(), loaded.warnings.end());
            discs.push_back(loaded.disc);
            break;
        }
        case DriveRequest::Kind::Demo:
            discs.push_back(MakeDemoCd());
            discs.push_back(MakeDemoDvd());
            break;
        case DriveRequest::Kind::Empty:
            discs.push_back(nullptr);
            break;
        }
    }

    const std::size_t free = Letters - std::min(registry.Count(), Letters);
    if (discs.size() > free) {
        return AttachResult{false,
                            "Too many virtual drives: " + std::to_string(discs.size()) + " asked for, " +
                                std::to_string(free) + " drive letters left",
                            std::move(result.warnings),
                            {},
                            {}};
    }

    for (const auto& disc : discs) {
        auto drive = std::make_shared<EmulatedDrive>(clock);
        if (disc) {
            drive->Insert(disc);
        }
        result.letters.push_back(registry.Attach(drive));
        result.drives.push_back(std::move(drive));
    }
    return result;
}

} // namespace tolvane::emulator
