#include "emulator/SectorSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane::emulator {

std::size_t BytesPerSector(SectorFormat format)
{
    switch (format) {
    case SectorFormat::Audio:
    case SectorFormat::Raw:
        return 2352;
    case SectorFormat::Mode1Data:
    case SectorFormat::Form1Data:
        return 2048;
    case SectorFormat::Mode2Data:
        return 2336;
    case SectorFormat::Form2Data:
        return 2324;
    }
    return 2352;
}

std::shared_ptr<FileSource> FileSource::Open(const std::string& path, std::uint64_t offset,
                                             std::size_t stride, bool swapBytes, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        error = path + " is not a regular file";
        ::close(fd);
        return nullptr;
    }
    if (stride == 0) {
        error = "no sector size for " + path;
        ::close(fd);
        return nullptr;
    }
    return std::shared_ptr<FileSource>(
        new FileSource(fd, static_cast<std::uint64_t>(info.st_size), offset, stride, swapBytes));
}

FileSource::FileSource(int fd, std::uint64_t size, std::uint64_t offset, std::size_t stride, bool swapBytes)
    : fd_(fd), size_(size), offset_(offset), stride_(stride), swap_(swapBytes)
{
}

FileSource::~FileSource()
{
    ::close(fd_);
}

bool SectorSource::ReadSectors(std::int64_t first, std::size_t count, std::span<std::uint8_t> out) const
{
    if (count == 0)
        return out.empty();
    const std::size_t size = out.size() / count;
    for (std::size_t k = 0; k < count; ++k) {
        if (!Read(first + static_cast<std::int64_t>(k), out.subspan(k * size, size)))
            return false;
    }
    return true;
}

bool FileSource::Read(std::int64_t sector, std::span<std::uint8_t> out) const
{
    return ReadSpan(sector, 1, out);
}

bool FileSource::ReadSectors(std::int64_t first, std::size_t count, std::span<std::uint8_t> out) const
{
    // Sectors lie back to back only when the stride is the size read of each.
    if (count == 0 || out.size() != count * stride_)
        return SectorSource::ReadSectors(first, count, out);
    return ReadSpan(first, count, out);
}

bool FileSource::ReadSpan(std::int64_t sector, std::size_t count, std::span<std::uint8_t> out) const
{
    if (sector < 0 || count == 0)
        return false;
    const auto k = static_cast<std::uint64_t>(sector) + (count - 1); // the last sector
    // A sector number so large that its position overflows is past any file's end.
    if (k < count - 1 || k > (size_ - std::min(size_, offset_)) / stride_)
        return false;
    const std::uint64_t position = offset_ + static_cast<std::uint64_t>(sector) * stride_;
    if (position > size_ || out.size() > size_ - position)
        return false;

    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n =
            ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(position + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) // the file shrank since it was opened
            return false;
        done += static_cast<std::size_t>(n);
    }
    if (swap_) {
        for (std::size_t i = 0; i + 1 < out.size(); i += 2)
            std::swap(out[i], out[i + 1]);
    }
    return true;
}

bool ZeroSource::Read(std::int64_t, std::span<std::uint8_t> out) const
{
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    return true;
}

std::uint8_t AddressPatternSource::ByteAt(std::int64_t sector, std::size_t i)
{
    // Knuth's multiplicative hash of the byte's address on a 2,352-byte grid: neighbouring bytes and
    // sectors differ, so a sector served one block (or one byte) off shows.
    const std::uint64_t address = static_cast<std::uint64_t>(sector) * 2352 + i;
    return static_cast<std::uint8_t>((address * 2654435761u) >> 24);
}

bool AddressPatternSource::Read(std::int64_t sector, std::span<std::uint8_t> out) const
{
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = ByteAt(sector, i);
    return true;
}

} // namespace tolvane::emulator
