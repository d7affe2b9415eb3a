#include "rip/SecureReader.h"

#include "rip/Blocks.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tolvane::rip {
namespace {

// Blocks per READ CD at most: a second of audio. Longer transfers gain nothing and some drives
// refuse them.
constexpr std::size_t MaxBurst = 75;

} // namespace

struct SecureReader::Block {
    std::array<std::uint8_t, BlockSize> data{};
    bool ok = false;      // the drive answered
    bool flagged = false; // with C2 error bits set
};

SecureReader::SecureReader(MMC& mmc, std::int32_t discEnd, Settings settings)
    : mmc_(mmc), discEnd_(discEnd), settings_(settings)
{
}

bool SecureReader::ReadOne(std::int32_t lba, Block& block, Report& report)
{
    std::array<std::uint8_t, BlockSize + MMC::C2Size> buffer{};
    block.ok = c2_ ? mmc_.ReadCDWithC2(lba, 1, static_cast<std::int32_t>(buffer.size()), buffer.data())
                   : mmc_.ReadCD(lba, 1, BlockSize, buffer.data());
    report.sectorsRead += 1;
    if (!block.ok && mmc_.LastResult().SenseKey() != scsi::SenseMediumError) {
        unanswered_ = true;
    }
    std::copy_n(buffer.begin(), BlockSize, block.data.begin());
    block.flagged =
        c2_ && std::any_of(buffer.begin() + BlockSize, buffer.end(), [](std::uint8_t b) { return b != 0; });
    return block.ok;
}

void SecureReader::DefeatCache(std::int32_t near, Report& report)
{
    // A read outside the cache's reach makes the drive drop what it holds of `near`.
    const std::int32_t reach = settings_.cacheSectors + burst_;
    std::int32_t far = near + reach;
    if (far >= discEnd_) {
        far = near - reach >= 0 ? near - reach : (near < discEnd_ / 2 ? discEnd_ - 1 : 0);
    }
    Block scratch;
    const bool unanswered = unanswered_; // a failure far away says nothing of this block
    ReadOne(far, scratch, report);
    unanswered_ = unanswered;
}

void SecureReader::Pass(std::int32_t from, std::int32_t to, std::vector<Block>& blocks, Report& report)
{
    const std::size_t stride = BlockSize + (c2_ ? MMC::C2Size : 0);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(burst_) * stride);
    blocks.assign(static_cast<std::size_t>(to - from), Block{});
    for (std::int32_t lba = from; lba < to; lba += burst_) {
        const std::int32_t n = std::min(burst_, to - lba);
        const auto size = static_cast<std::int32_t>(static_cast<std::size_t>(n) * stride);
        const bool ok =
            c2_ ? mmc_.ReadCDWithC2(lba, n, size, buffer.data()) : mmc_.ReadCD(lba, n, size, buffer.data());
        report.sectorsRead += static_cast<std::uint64_t>(n);
        for (std::int32_t i = 0; i < n; ++i) {
            Block& b = blocks[static_cast<std::size_t>(lba - from + i)];
            if (!ok) {
                // A burst that fails is read again a block at a time: only the bad ones stay unread.
                // A drive that answers nothing but errors other than medium errors is not asked
                // for the rest; the confirming then says it stopped answering.
                unanswered_ = false;
                ReadOne(lba + i, b, report);
                if (unanswered_ && !b.ok) {
                    return;
                }
                continue;
            }
            const std::uint8_t* p = buffer.data() + static_cast<std::size_t>(i) * stride;
            std::copy_n(p, BlockSize, b.data.begin());
            b.ok = true;
            b.flagged = c2_ && std::any_of(p + BlockSize, p + stride, [](std::uint8_t x) { return x != 0; });
        }
    }
}

void SecureReader::Confirm(std::int32_t lba, Block& block, const Block* second, Report& report)
{
    if (c2_ ? block.ok && !block.flagged : block.ok && second->ok && block.data == second->data) {
        return;
    }
    // Every distinct answer with how often it came, and how often without C2 flags.
    struct Answer {
        Block block;
        int count = 0;
        int clean = 0;
    };
    std::vector<Answer> answers;
    bool flagged = false;
    const auto add = [&](const Block& b) -> const Answer* {
        if (!b.ok) {
            return nullptr;
        }
        flagged = flagged || b.flagged;
        auto it = std::find_if(answers.begin(), answers.end(),
                               [&](const Answer& a) { return a.block.data == b.data; });
        if (it == answers.end()) {
            answers.push_back({b, 0, 0});
            it = answers.end() - 1;
        }
        it->count += 1;
        it->clean += b.flagged ? 0 : 1;
        // Two reads without flags that agree, or (without C2) three that agree after a disagreement:
        // a wrong answer a damaged sector gives twice is not taken.
        return (c2_ ? it->clean >= 2 : it->count >= 3) ? &*it : nullptr;
    };
    unanswered_ = false;
    add(block);
    int reads = 1;
    if (second != nullptr) {
        add(*second);
        ++reads;
    }
    report.rereadSectors += 1;
    const Answer* accepted = nullptr;
    for (; reads < settings_.maxReads && accepted == nullptr; ++reads) {
        DefeatCache(lba, report);
        Block again;
        ReadOne(lba, again, report);
        accepted = add(again);
    }
    report.flaggedSectors += flagged ? 1 : 0;
    if (accepted != nullptr) {
        block = accepted->block;
        block.flagged = false;
        return;
    }
    // No answer was confirmed: the most frequent one (clean reads first) stands, and the sector is named.
    const auto best = std::max_element(answers.begin(), answers.end(), [](const Answer& a, const Answer& b) {
        return std::pair(a.clean, a.count) < std::pair(b.clean, b.count);
    });
    block = best != answers.end() ? best->block : Block{};
    report.suspicious.push_back(lba);
    if (answers.empty() && unanswered_) {
        lost_ = "the drive stopped answering at block " + std::to_string(lba) + ": " + mmc_.ErrorMessage();
    }
}

void SecureReader::ReadRaw(std::int32_t from, std::int32_t to, std::vector<std::uint8_t>& out, Report& report)
{
    out.assign(static_cast<std::size_t>(to - from) * BlockSize, 0);
    const std::int32_t inFrom = std::clamp(from, 0, discEnd_);
    const std::int32_t inTo = std::clamp(to, 0, discEnd_);
    std::vector<Block> first;
    std::vector<Block> second;
    if (inFrom < inTo) {
        Pass(inFrom, inTo, first, report);
        const bool twice = !c2_ && !settings_.singlePass;
        if (twice) {
            DefeatCache(inFrom, report);
            Pass(inFrom, inTo, second, report);
        }
        for (std::int32_t lba = inFrom; lba < inTo; ++lba) {
            const auto i = static_cast<std::size_t>(lba - inFrom);
            // One read alone: a block the drive gave is its own second read.
            Confirm(lba, first[i], c2_ ? nullptr : twice ? &second[i] : &first[i], report);
            if (!lost_.empty()) {
                return;
            }
            std::copy(first[i].data.begin(), first[i].data.end(), out.begin() + (lba - from) * BlockSize);
        }
    }
    // Outside the disc: what the drive gives by overreading, else silence.
    for (std::int32_t lba = from; lba < to; ++lba) {
        if (lba >= inFrom && lba < inTo) {
            continue;
        }
        Block b;
        if (settings_.overread && ReadOne(lba, b, report)) {
            std::copy(b.data.begin(), b.data.end(), out.begin() + (lba - from) * BlockSize);
        } else {
            report.silentSamples +=
                SamplesPerBlock; // counted by the block; trimmed to the samples used in Read
        }
    }
}

bool SecureReader::UsesC2(std::int32_t first)
{
    if (!probed_) {
        // A drive that cannot give C2 pointers refuses the field as an illegal request; any other
        // failure (a scratch at the probed block) says nothing about C2.
        probed_ = true;
        std::array<std::uint8_t, BlockSize + MMC::C2Size> probe{};
        c2_ = settings_.useC2 && (mmc_.ReadCDWithC2(std::clamp(first, 0, std::max(discEnd_ - 1, 0)), 1,
                                                    static_cast<std::int32_t>(probe.size()), probe.data()) ||
                                  mmc_.LastResult().SenseKey() != scsi::SenseIllegalRequest);
    }
    return c2_;
}

bool SecureReader::Read(std::int32_t first, std::int32_t count, const Sink& sink, Report& report)
{
    error_.clear();
    lost_.clear();
    report.c2 = UsesC2(first);
    const std::size_t stride = BlockSize + (c2_ ? MMC::C2Size : 0);
    const std::int32_t window = std::max(settings_.window, 1);
    burst_ = static_cast<std::int32_t>(std::clamp<std::size_t>(mmc_.MaxTransferBytes() / stride, 1,
                                                               std::min(MaxBurst, std::size_t(window))));
    std::vector<std::uint8_t> raw;
    for (std::int32_t at = first; at < first + count; at += window) {
        const std::int32_t blocks = std::min(window, first + count - at);
        const std::int64_t rawStart = std::int64_t{at} * SamplesPerBlock + settings_.offset;
        const std::int64_t rawEnd = rawStart + std::int64_t{blocks} * SamplesPerBlock;
        const auto from = static_cast<std::int32_t>(FloorDiv(rawStart, SamplesPerBlock));
        const auto to = static_cast<std::int32_t>(FloorDiv(rawEnd - 1, SamplesPerBlock) + 1);
        const std::uint64_t silentBefore = report.silentSamples;
        ReadRaw(from, to, raw, report);
        if (!lost_.empty()) {
            error_ = lost_;
            return false;
        }
        if (report.silentSamples != silentBefore) {
            // Only the samples of the range that fall outside the disc are silence given.
            const std::int64_t end = std::int64_t{discEnd_} * SamplesPerBlock;
            const std::int64_t outside =
                std::max<std::int64_t>(0, std::min<std::int64_t>(rawEnd, 0) - rawStart) +
                std::max<std::int64_t>(0, rawEnd - std::max(rawStart, end));
            report.silentSamples = silentBefore + static_cast<std::uint64_t>(outside);
        }
        const auto skip = static_cast<std::size_t>(rawStart - std::int64_t{from} * SamplesPerBlock) * 4;
        for (std::int32_t i = 0; i < blocks; ++i) {
            if (!sink(ConstBytes(raw.data() + skip + static_cast<std::size_t>(i) * BlockSize, BlockSize))) {
                error_ = "cancelled";
                return false;
            }
        }
    }
    return true;
}

} // namespace tolvane::rip
