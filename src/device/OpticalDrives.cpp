#include "device/OpticalDrives.h"

#include "device/MMC.h"
#include "util/ByteOrder.h"

#include <array>
#include <exception>

namespace tolvane {

namespace {

constexpr std::int16_t InquirySize = 36;
constexpr std::uint8_t CapabilitiesPage = 0x2A;
// The page is read into one byte more than is asked for.
constexpr std::size_t ModeSenseBufferSize = 31;
constexpr std::int16_t ModeSenseAllocation = 30;
// The page follows the 8-byte mode parameter header (the block descriptor length is not looked at).
constexpr std::size_t PageStart = 8;
constexpr std::int16_t KilobytesPerSpeed = 176; // 1x CD speed in kB/s

// The INQUIRY identification fields: raw bytes, one character each (ISO 8859-1),
// padding and NULs kept.
std::string Latin1Field(ConstBytes data, std::size_t offset, std::size_t length)
{
    std::string text;
    for (const std::uint8_t byte : data.subspan(offset, length)) {
        if (byte < 0x80) {
            text += static_cast<char>(byte);
        } else {
            text += static_cast<char>(0xC0 | byte >> 6);
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

std::int16_t Speed(ConstBytes response, std::size_t pageOffset)
{
    // Values of 0x8000 and above come out negative, as the field is taken as signed.
    const auto value = static_cast<std::int16_t>(Be16(response, PageStart + pageOffset));
    return static_cast<std::int16_t>(value / KilobytesPerSpeed);
}

// A step that raises a failure is skipped; the enumeration goes on with the next.
template <typename Step> bool Guarded(Step&& step)
{
    try {
        return step();
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

OpticalDrives::OpticalDrives(Platform& platform)
{
    // One transport for every letter; it touches no drive until Create.
    auto mmc = std::make_unique<MMC>(platform);

    // A and B are floppy drives on the machines this was made for; they are never tried.
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        const std::string drive{letter, ':'};
        if (!Guarded([&] { return mmc->Create(drive, ""); })) {
            continue; // a failed Create leaves no handle open
        }

        std::array<std::uint8_t, InquirySize> inquiry{};
        if (!Guarded([&] { return mmc->Inquiry(InquirySize, inquiry.data()); })) {
            mmc->Destroy();
            continue;
        }

        auto item = std::make_unique<OpticalDriveItem>();
        item->interface_ = mmc->Interface();
        item->letter_ = drive;
        Guarded([&] {
            item->manufacturer_ = Latin1Field(inquiry, 8, 8);
            item->name_ = Latin1Field(inquiry, 16, 16);
            item->revision_ = Latin1Field(inquiry, 32, 4);
            return true;
        });

        std::array<std::uint8_t, ModeSenseBufferSize> page{};
        Guarded([&] {
            if (!mmc->ModeSense(CapabilitiesPage, ModeSenseAllocation, page.data())) {
                return false; // the speeds stay 0
            }
            item->readMaximumSpeed_ = Speed(page, 8);
            item->readCurrentSpeed_ = Speed(page, 14);
            item->writeMaximumSpeed_ = Speed(page, 18);
            item->writeCurrentSpeed_ = Speed(page, 20);
            return true;
        });

        items_.push_back(std::move(item));
        mmc->Destroy();
    }
}

const OpticalDriveItem* OpticalDrives::Item(std::int16_t Index) const
{
    if (Index < 0 || Index >= Count()) {
        return nullptr;
    }
    return items_[static_cast<std::size_t>(Index)].get();
}

} // namespace tolvane
