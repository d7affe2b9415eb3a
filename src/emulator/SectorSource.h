// Where the bytes of a run of sectors come from: an image file, silence,
// a generator, or a pattern standing in for a missing file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace tolvane::emulator {

// What a source delivers for each sector.
enum class SectorFormat : std::uint8_t {
    Audio,       // 2352 bytes of 16-bit little-endian stereo samples
    Mode1Data,   // 2048 bytes of Mode 1 user data
    Mode2Data,   // 2336 bytes: formless Mode 2, or XA sub-header + data (form mix)
    Form1Data,   // 2048 bytes of XA form 1 user data
    Form2Data,   // 2324 bytes of XA form 2 user data
    Raw,         // 2352 bytes: the whole sector with sync, header and EDC/ECC
};

std::size_t BytesPerSector(SectorFormat format);

class SectorSource {
public:
    virtual ~SectorSource() = default;
    // Fills out (BytesPerSector of the extent's format) with the sector's bytes.
    // False when the bytes cannot be read (an I/O error, a file cut short).
    virtual bool Read(std::int64_t sector, std::span<std::uint8_t> out) const = 0;
    // Fills out with `count` consecutive sectors from `first`, out.size() / count
    // bytes each. One call per run of a multi-block read: an image file serves it
    // with one system call instead of one per sector.
    virtual bool ReadSectors(std::int64_t first, std::size_t count, std::span<std::uint8_t> out) const;
};

// Sectors of an image file, read with pread (never mapped: a long image must not
// count toward the program's memory). Byte offset of sector k = offset + k * stride.
class FileSource final : public SectorSource {
public:
    // Opens the file; null with a message in error when it cannot be opened.
    static std::shared_ptr<FileSource> Open(const std::string& path, std::uint64_t offset, std::size_t stride,
                                            bool swapBytes, std::string& error);
    ~FileSource() override;
    bool Read(std::int64_t sector, std::span<std::uint8_t> out) const override;
    bool ReadSectors(std::int64_t first, std::size_t count, std::span<std::uint8_t> out) const override;
    // The file's size in bytes.
    std::uint64_t Size() const { return size_; }

private:
    FileSource(int fd, std::uint64_t size, std::uint64_t offset, std::size_t stride, bool swapBytes);
    // Reads out.size() bytes of `count` sectors laid out contiguously from `sector`.
    bool ReadSpan(std::int64_t sector, std::size_t count, std::span<std::uint8_t> out) const;
    int fd_;
    std::uint64_t size_;
    std::uint64_t offset_;
    std::size_t stride_;
    bool swap_; // 16-bit samples stored big-endian (cue MOTOROLA)
};

// All zeros: pregaps, SILENCE and ZERO of a toc file, unrecorded areas.
class ZeroSource final : public SectorSource {
public:
    bool Read(std::int64_t, std::span<std::uint8_t> out) const override;
};

// Bytes that encode their own sector number and position, standing in for a
// missing data file in tests: any addressing error changes what is read.
class AddressPatternSource final : public SectorSource {
public:
    bool Read(std::int64_t sector, std::span<std::uint8_t> out) const override;
    // The byte at position i of sector `sector`.
    static std::uint8_t ByteAt(std::int64_t sector, std::size_t i);
};

// Bytes computed on demand (the demo discs).
class GeneratedSource final : public SectorSource {
public:
    using Generator = std::function<void(std::int64_t sector, std::span<std::uint8_t> out)>;
    explicit GeneratedSource(Generator generator) : generator_(std::move(generator)) {}
    bool Read(std::int64_t sector, std::span<std::uint8_t> out) const override
    {
        generator_(sector, out);
        return true;
    }

private:
    Generator generator_;
};

} // namespace tolvane::emulator
