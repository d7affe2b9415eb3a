// A RIFF/WAVE file of CD audio (PCM, 2 channels, 44,100 Hz, 16 bits) whose two
// size fields are completed when the file is closed, so a copy that stops early
// is still a valid WAV file that describes exactly what was written.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace tolvane {

class WavWriter {
public:
    static constexpr std::size_t HeaderSize = 44;

    WavWriter() = default;
    ~WavWriter(); // Abandon()
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates (or replaces) the file; false when it cannot be created.
    bool Open(const std::string& path);
    // The header, chunk by chunk, each false on a write error: the RIFF chunk (its size 0
    // until the file is completed), the "fmt " chunk with the format record (the record's
    // own write is not checked, as the chunk's size already says 16), and the "data" chunk
    // with the size the caller expects.
    bool StartRiff();
    bool StartFormat();
    bool StartData(std::uint32_t provisionalDataSize);
    // Appends sample bytes; false once a write has failed (disc full, file size limit).
    bool Write(std::span<const std::uint8_t> samples);
    // Writes out what is buffered, sets the sizes to the whole CD sectors that
    // reached the file, then closes; false when any write failed.
    bool Complete();
    // Writes out what is buffered and closes without touching the sizes, as after a
    // failure: the samples handed over are in the file, the header stays provisional.
    void Abandon();

    // Sample bytes that reached the file so far.
    std::uint64_t BytesOnDisk() const { return onDisk_; }
    bool IsOpen() const { return file_ != nullptr; }

    static constexpr std::size_t SectorSize = 2352;

private:
    bool Flush();
    bool Put(std::span<const std::uint8_t> bytes);

    std::FILE* file_ = nullptr;
    // Our own buffer, so that the bytes that really reached the file are known
    // when a write fails.
    std::vector<std::uint8_t> buffer_;
    std::size_t used_ = 0;
    std::uint64_t onDisk_ = 0;
    bool failed_ = false;
};

} // namespace tolvane
