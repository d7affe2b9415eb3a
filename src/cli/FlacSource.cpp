#include "cli/FlacSource.h"

#include "rip/output/FlacReader.h"

#include <mutex>

namespace tolvane::cli {

namespace {

constexpr std::size_t BlockBytes = 2352;
constexpr std::uint64_t FramesPerBlock = BlockBytes / 4;

class FlacSource final : public emulator::SectorSource {
public:
    explicit FlacSource(std::unique_ptr<rip::FlacReader> reader) : reader_(std::move(reader)) {}

    bool Read(std::int64_t sector, std::span<std::uint8_t> out) const override
    {
        return ReadSectors(sector, 1, out);
    }

    bool ReadSectors(std::int64_t first, std::size_t count, std::span<std::uint8_t> out) const override
    {
        if (first < 0 || out.size() != count * BlockBytes) {
            return false;
        }
        // The decoder keeps a position: one read at a time.
        const std::lock_guard<std::mutex> lock(mutex_);
        return reader_->ReadAt(static_cast<std::uint64_t>(first) * FramesPerBlock, out);
    }

private:
    mutable std::mutex mutex_;
    std::unique_ptr<rip::FlacReader> reader_;
};

} // namespace

std::shared_ptr<const emulator::SectorSource> OpenFlacSource(const std::string& path, std::int64_t& blocks,
                                                             std::string& error)
{
    auto reader = std::make_unique<rip::FlacReader>();
    if (!reader->Open(path)) {
        error = reader->Error();
        return nullptr;
    }
    // The loader counts whole blocks; a rip's track always is a whole number of them.
    blocks = static_cast<std::int64_t>(reader->DataBytes() / BlockBytes);
    return std::make_shared<FlacSource>(std::move(reader));
}

} // namespace tolvane::cli
