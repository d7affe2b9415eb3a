#include "rip/Blocks.h"

#include <algorithm>
#include <vector>

namespace tolvane::rip {

BurstRead ReadBursts(MMC& mmc, std::int32_t from, std::int32_t to,
                     const std::function<bool(std::int32_t first, ConstBytes blocks)>& each)
{
    BurstRead result;
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(Burst) * BlockSize);
    for (std::int32_t lba = from; lba < to; lba += Burst) {
        const std::int32_t n = std::min(Burst, to - lba);
        result.commands += 1;
        if (!mmc.ReadCD(lba, n, n * BlockSize, buffer.data())) {
            result.ok = false;
            result.failedAt = lba;
            return result;
        }
        if (!each(lba, ConstBytes(buffer.data(), static_cast<std::size_t>(n) * BlockSize))) {
            return result;
        }
    }
    return result;
}

} // namespace tolvane::rip
