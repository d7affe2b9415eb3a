#include "disc/WavWriter.h"

#include "util/ByteOrder.h"

#include <algorithm>
#include <array>

namespace tolvane {

namespace {

constexpr std::size_t BufferSize = 256 * 1024;

template <std::size_t N> void Tag(std::array<std::uint8_t, N>& h, std::size_t off, const char (&id)[5])
{
    for (std::size_t i = 0; i < 4; ++i) {
        h[off + i] = static_cast<std::uint8_t>(id[i]);
    }
}

std::array<std::uint8_t, 12> RiffChunk(std::uint32_t riffSize)
{
    std::array<std::uint8_t, 12> h{};
    Tag(h, 0, "RIFF");
    PutLe32(h, 4, riffSize); // file length - 8
    Tag(h, 8, "WAVE");
    return h;
}

std::array<std::uint8_t, 24> FormatChunk()
{
    std::array<std::uint8_t, 24> h{};
    Tag(h, 0, "fmt ");
    PutLe32(h, 4, 16);      // format chunk size
    PutLe16(h, 8, 1);       // PCM
    PutLe16(h, 10, 2);      // channels
    PutLe32(h, 12, 44100);  // samples per second
    PutLe32(h, 16, 176400); // average bytes per second
    PutLe16(h, 20, 4);      // block align
    PutLe16(h, 22, 16);     // bits per sample
    return h;
}

std::array<std::uint8_t, 8> DataChunk(std::uint32_t dataSize)
{
    std::array<std::uint8_t, 8> h{};
    Tag(h, 0, "data");
    PutLe32(h, 4, dataSize);
    return h;
}

constexpr std::size_t ChunkHeader = 8;
constexpr std::size_t DataSizeOffset = 40;

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

bool WavWriter::Put(std::span<const std::uint8_t> bytes)
{
    if (!file_ || std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        failed_ = true;
        return false;
    }
    return true;
}

bool WavWriter::StartRiff()
{
    return Put(RiffChunk(0));
}

bool WavWriter::StartFormat()
{
    const auto chunk = FormatChunk();
    if (!Put(std::span(chunk).first(ChunkHeader))) {
        return false;
    }
    (void)Put(std::span(chunk).subspan(ChunkHeader));
    return true;
}

bool WavWriter::StartData(std::uint32_t provisionalDataSize)
{
    // A format record cut short leaves the data chunk where the file ends, as a
    // writer without a buffer of its own would place it.
    return Put(DataChunk(provisionalDataSize));
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
    const auto riff = RiffChunk(36 + dataSize);
    const auto data = DataChunk(dataSize);
    const auto rewrite = [this](long at, std::span<const std::uint8_t> bytes) {
        return std::fseek(file_, at, SEEK_SET) == 0 && std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    };
    ok = rewrite(4, std::span(riff).subspan(4, 4)) && ok;
    ok = rewrite(DataSizeOffset, std::span(data).subspan(4, 4)) && ok;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    return ok;
}

void WavWriter::Abandon()
{
    if (file_) {
        (void)Flush();
        std::fclose(file_);
        file_ = nullptr;
    }
}

} // namespace tolvane
