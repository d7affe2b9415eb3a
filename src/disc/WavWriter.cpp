#include "disc/WavWriter.h"

#include "util/ByteOrder.h"

#include <algorithm>
#include <array>

namespace tolvane {

namespace {

constexpr std::size_t BufferSize = 256 * 1024;

std::array<std::uint8_t, WavWriter::HeaderSize> Header(std::uint32_t dataSize)
{
    std::array<std::uint8_t, WavWriter::HeaderSize> h{};
    const auto tag = [&h](std::size_t off, const char (&id)[5]) {
        for (std::size_t i = 0; i < 4; ++i) {
            h[off + i] = static_cast<std::uint8_t>(id[i]);
        }
    };
    tag(0, "RIFF");
    PutLe32(h, 4, 36 + dataSize); // file length - 8
    tag(8, "WAVE");
    tag(12, "fmt ");
    PutLe32(h, 16, 16);      // format chunk size
    PutLe16(h, 20, 1);       // PCM
    PutLe16(h, 22, 2);       // channels
    PutLe32(h, 24, 44100);   // samples per second
    PutLe32(h, 28, 176400);  // average bytes per second
    PutLe16(h, 32, 4);       // block align
    PutLe16(h, 34, 16);      // bits per sample
    tag(36, "data");
    PutLe32(h, 40, dataSize);
    return h;
}

} // namespace

WavWriter::~WavWriter()
{
    Abandon();
}

bool WavWriter::Open(const std::string& path)
{
    Abandon();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        return false;
    }
    std::setvbuf(file_, nullptr, _IONBF, 0);
    buffer_.resize(BufferSize);
    used_ = 0;
    onDisk_ = 0;
    failed_ = false;
    return true;
}

bool WavWriter::WriteHeader(std::uint32_t provisionalDataSize)
{
    const auto h = Header(provisionalDataSize);
    if (!file_ || std::fwrite(h.data(), 1, h.size(), file_) != h.size()) {
        failed_ = true;
        return false;
    }
    return true;
}

bool WavWriter::Flush()
{
    if (used_ > 0 && !failed_) {
        const std::size_t written = std::fwrite(buffer_.data(), 1, used_, file_);
        onDisk_ += written;
        failed_ = written != used_;
    }
    used_ = 0;
    return !failed_;
}

bool WavWriter::Write(std::span<const std::uint8_t> samples)
{
    if (!file_ || failed_) {
        return false;
    }
    while (!samples.empty()) {
        const std::size_t n = std::min(samples.size(), buffer_.size() - used_);
        std::copy_n(samples.begin(), n, buffer_.begin() + static_cast<std::ptrdiff_t>(used_));
        used_ += n;
        samples = samples.subspan(n);
        if (used_ == buffer_.size() && !Flush()) {
            return false;
        }
    }
    return true;
}

bool WavWriter::Complete()
{
    if (!file_) {
        return false;
    }
    bool ok = Flush();
    // A sector cut short by a failed write is not part of the file's audio.
    const auto dataSize = static_cast<std::uint32_t>(onDisk_ - onDisk_ % SectorSize);
    const auto h = Header(dataSize);
    ok = std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(h.data(), 1, h.size(), file_) == h.size() && ok;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    return ok;
}

void WavWriter::Abandon()
{
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

} // namespace tolvane
