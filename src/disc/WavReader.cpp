#include "disc/WavReader.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tolvane {

bool WavReader::Fail(std::string why)
{
    error_ = path_ + ": " + std::move(why);
    return false;
}

bool WavReader::Open(const std::string& path)
{
    path_ = path;
    in_.open(path, std::ios::binary);
    if (!in_) {
        return Fail(std::strerror(errno));
    }
    std::array<std::uint8_t, 12> riff{};
    if (!in_.read(reinterpret_cast<char*>(riff.data()), riff.size()) ||
        std::memcmp(riff.data(), "RIFF", 4) != 0 || std::memcmp(riff.data() + 8, "WAVE", 4) != 0) {
        return Fail("not a WAV file");
    }
    bool format = false;
    for (;;) {
        std::array<std::uint8_t, 8> head{};
        if (!in_.read(reinterpret_cast<char*>(head.data()), head.size())) {
            return Fail("no data chunk");
        }
        const std::uint32_t size = Le32(head, 4);
        if (std::memcmp(head.data(), "fmt ", 4) == 0) {
            std::array<std::uint8_t, 16> fmt{};
            if (size < fmt.size() || !in_.read(reinterpret_cast<char*>(fmt.data()), fmt.size())) {
                return Fail("its format chunk is short");
            }
            if (Le16(fmt, 0) != 1 || Le16(fmt, 2) != 2 || Le32(fmt, 4) != 44100 || Le16(fmt, 14) != 16) {
                return Fail("not CD audio (16-bit stereo PCM at 44,100 Hz)");
            }
            format = true;
            in_.seekg(size - fmt.size() + (size & 1), std::ios::cur);
        } else if (std::memcmp(head.data(), "data", 4) == 0) {
            if (!format) {
                return Fail("its data chunk comes before its format chunk");
            }
            dataBytes_ = size;
            return true;
        } else {
            in_.seekg(std::streamoff{size} + (size & 1), std::ios::cur);
        }
    }
}

bool WavReader::Read(const std::function<void(ConstBytes)>& sink)
{
    std::vector<std::uint8_t> piece(1 << 16);
    for (std::uint64_t left = dataBytes_; left > 0;) {
        const auto want = static_cast<std::streamsize>(std::min<std::uint64_t>(left, piece.size()));
        in_.read(reinterpret_cast<char*>(piece.data()), want);
        const auto got = static_cast<std::size_t>(in_.gcount());
        if (got == 0) {
            return Fail("the file ends " + std::to_string(left) + " bytes before its data chunk does");
        }
        sink(ConstBytes(piece.data(), got));
        left -= got;
    }
    return true;
}

} // namespace tolvane
