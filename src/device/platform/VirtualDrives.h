// The virtual drives a program attaches before it enumerates drives.
//
// The registry is created by the program (or a test) and handed to the
// platform; there is no global instance. Drives get letters from D: upward in
// the order they are attached, ahead of the machine's own optical drives.
#pragma once

#include "device/platform/ScsiResult.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// A drive in software that answers command blocks the way a real MMC drive does.
class VirtualDrive {
public:
    virtual ~VirtualDrive() = default;
    virtual ScsiResult Execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn) = 0;
};

class VirtualDriveRegistry {
public:
    static constexpr char FirstLetter = 'D';
    // What a virtual drive takes in one command: 128 KiB, as Linux's ATAPI hosts (256 blocks of 512).
    static constexpr std::size_t MaxTransfer = 128 * 1024;

    // Attaches a drive and returns its drive string ("D:", "E:" ...); empty when
    // the letters up to Z are used up or drive is null.
    std::string Attach(std::shared_ptr<VirtualDrive> drive);

    // The drive at a drive string ("E:" or "E", case-insensitive), or null.
    std::shared_ptr<VirtualDrive> Find(std::string_view drive) const;

    std::size_t Count() const;

    // Parses the letter of a drive string; 0 when it is not one.
    static char LetterOf(std::string_view drive);

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<VirtualDrive>> drives_;
};

} // namespace tolvane
