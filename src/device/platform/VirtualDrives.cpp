#include "device/platform/VirtualDrives.h"

namespace tolvane {

namespace {

constexpr char LastLetter = 'Z';

} // namespace

std::string VirtualDriveRegistry::Attach(std::shared_ptr<VirtualDrive> drive)
{
    if (!drive) {
        return {};
    }
    std::lock_guard lock(mutex_);
    const auto letter = static_cast<char>(FirstLetter + drives_.size());
    if (letter > LastLetter) {
        return {};
    }
    drives_.push_back(std::move(drive));
    return {letter, ':'};
}

std::shared_ptr<VirtualDrive> VirtualDriveRegistry::Find(std::string_view drive) const
{
    const char letter = LetterOf(drive);
    if (letter < FirstLetter) {
        return nullptr;
    }
    const auto index = static_cast<std::size_t>(letter - FirstLetter);
    std::lock_guard lock(mutex_);
    return index < drives_.size() ? drives_[index] : nullptr;
}

std::size_t VirtualDriveRegistry::Count() const
{
    std::lock_guard lock(mutex_);
    return drives_.size();
}

char VirtualDriveRegistry::LetterOf(std::string_view drive)
{
    // "D", "D:" and "D:\" name the same drive; anything else names none.
    if (drive.empty() || drive.size() > 3) {
        return 0;
    }
    if (drive.size() >= 2 && drive[1] != ':') {
        return 0;
    }
    if (drive.size() == 3 && drive[2] != '\\') {
        return 0;
    }
    const char c = drive[0];
    if (c >= 'a' && c <= 'z') {
        return static_cast<char>(c - 'a' + 'A');
    }
    return c >= 'A' && c <= 'Z' ? c : 0;
}

} // namespace tolvane
