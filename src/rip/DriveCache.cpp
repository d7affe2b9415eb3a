#include "rip/DriveCache.h"

#include "rip/Blocks.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tolvane::rip {
namespace {

// The largest cache worth measuring: a few megabytes, as drives have.
constexpr std::int32_t Largest = 8192;

class Timer {
public:
    Timer(MMC& mmc, Clock& clock, std::int32_t discEnd) : mmc_(mmc), clock_(clock), discEnd_(discEnd) {}

    // The time one block takes to come back; false when the read failed.
    bool Time(std::int32_t lba, Clock::Duration& took)
    {
        const Clock::Duration start = clock_.Now();
        const bool ok = mmc_.ReadCD(lba, 1, BlockSize, block_.data());
        took = clock_.Now() - start;
        return ok;
    }

    bool Read(std::int32_t from, std::int32_t count)
    {
        return ReadBursts(mmc_, from, from + count, [](std::int32_t, ConstBytes) { return true; }).ok;
    }

    // A read far from `near`, so that the drive seeks and refills its cache elsewhere.
    bool Away(std::int32_t near)
    {
        const std::int32_t far = near < discEnd_ / 2 ? discEnd_ - 1 : 0;
        return Read(far, 1);
    }

private:
    MMC& mmc_;
    Clock& clock_;
    std::int32_t discEnd_;
    std::array<std::uint8_t, BlockSize> block_{};
};

} // namespace

CacheSize MeasureCache(MMC& mmc, Clock& clock, std::int32_t at, std::int32_t discEnd)
{
    CacheSize size;
    Timer timer(mmc, clock, discEnd);
    // The shortest of three tries each: a re-read straight after a read, and one after a read
    // elsewhere.
    Clock::Duration hit = Clock::Duration::max();
    Clock::Duration miss = Clock::Duration::max();
    for (int i = 0; i < 3; ++i) {
        Clock::Duration took{};
        if (!timer.Away(at) || !timer.Read(at, 1) || !timer.Time(at, took)) {
            size.note = "not measured: the drive could not read the blocks";
            return size;
        }
        hit = std::min(hit, took);
        if (!timer.Away(at) || !timer.Time(at, took)) {
            size.note = "not measured: the drive could not read the blocks";
            return size;
        }
        miss = std::min(miss, took);
    }
    if (miss.count() == 0 || hit * 3 > miss * 2) {
        size.note = "not measured: re-reads take as long as reads";
        return size;
    }
    const Clock::Duration threshold = (hit + miss) / 2;
    // Read the block, then n blocks after it, and see whether it is still there.
    const std::int32_t room = std::min(Largest, discEnd - at - 1);
    for (std::int32_t n = 32; n <= room; n *= 2) {
        Clock::Duration took{};
        if (!timer.Away(at) || !timer.Read(at, 1) || !timer.Read(at + 1, n) || !timer.Time(at, took)) {
            size.note = "not measured: the drive could not read the blocks";
            return size;
        }
        if (took > threshold) {
            size.measured = true;
            size.blocks = n;
            size.note = "measured: fewer than " + std::to_string(n) + " blocks";
            return size;
        }
    }
    // Reading twice as far before a re-read still defeats it.
    size.blocks = 2 * room;
    size.note = "not measured: the cache holds more than " + std::to_string(room) + " blocks";
    return size;
}

} // namespace tolvane::rip
