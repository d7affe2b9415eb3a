// The machine's optical drives, found once when the list is constructed.
#pragma once

#include "device/platform/Platform.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolvane {

class OpticalDrives;

class OpticalDriveItem {
public:
    const std::string& Interface() const { return interface_; }
    const std::string& Letter() const { return letter_; }
    const std::string& Manufacturer() const { return manufacturer_; }
    const std::string& Name() const { return name_; }
    const std::string& Revision() const { return revision_; }
    std::int16_t ReadCurrentSpeed() const { return readCurrentSpeed_; }
    std::int16_t ReadMaximumSpeed() const { return readMaximumSpeed_; }
    std::int16_t WriteCurrentSpeed() const { return writeCurrentSpeed_; }
    std::int16_t WriteMaximumSpeed() const { return writeMaximumSpeed_; }

private:
    friend class OpticalDrives; // the list is the only writer

    std::string interface_;
    std::string letter_;
    std::string manufacturer_;
    std::string name_;
    std::string revision_;
    std::int16_t readCurrentSpeed_ = 0;
    std::int16_t readMaximumSpeed_ = 0;
    std::int16_t writeCurrentSpeed_ = 0;
    std::int16_t writeMaximumSpeed_ = 0;
};

class OpticalDrives {
public:
    // Enumerates the letters C to Z through the platform.
    explicit OpticalDrives(Platform& platform);

    std::int16_t Count() const { return static_cast<std::int16_t>(items_.size()); }
    // The entry at Index (0 to Count - 1, the same object on every call), else null.
    const OpticalDriveItem* Item(std::int16_t Index) const;

private:
    std::vector<std::unique_ptr<OpticalDriveItem>> items_;
};

} // namespace tolvane
