// The rip benchmark's disc image and its check.
//
//   tolvane-bench-image generate FOLDER   writes FOLDER/image.bin and FOLDER/image.cue:
//       74 minutes of noise-like audio in 15 tracks, the same bytes on every run
//   tolvane-bench-image compare A.wav B.wav
//       compares the audio (the data chunks) of two WAV files, whatever their
//       headers; exit status 0 when equal. When they differ it says where, and
//       whether one is the other shifted by a number of samples.
#include "BenchSupport.h"

#include "util/ByteOrder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::bench {
namespace {

// splitmix64: a fast generator whose sequence depends on nothing but the seed.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t state_;
};

std::string Msf(std::int32_t frames)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", frames / (60 * 75), frames / 75 % 60, frames % 75);
    return text;
}

int Generate(const std::string& folder)
{
    const std::string binPath = folder + "/image.bin";
    std::FILE* bin = std::fopen(binPath.c_str(), "wb");
    if (!bin) {
        std::fprintf(stderr, "cannot create %s: %s\n", binPath.c_str(), std::strerror(errno));
        return 1;
    }
    std::string cue = "REM Tolvane benchmark image: 74 minutes of noise in 15 tracks\n"
                      "FILE \"image.bin\" BINARY\n";
    constexpr std::size_t ChunkSectors = 441; // about 1 MB
    std::vector<std::uint8_t> chunk(ChunkSectors * RawSectorSize);
    std::int32_t lba = 0;
    bool ok = true;
    const auto& lengths = TrackLengths();
    for (std::size_t t = 0; t < lengths.size() && ok; ++t) {
        char head[64];
        std::snprintf(head, sizeof head, "  TRACK %02zu AUDIO\n    INDEX 01 ", t + 1);
        cue += head + Msf(lba) + "\n";
        // Each track its own seed, so a track served from the wrong place shows.
        Noise noise(0x746F6C76616E65ull + t);
        for (std::int32_t done = 0; done < lengths[t] && ok;) {
            const auto n = std::min<std::int32_t>(ChunkSectors, lengths[t] - done);
            const std::size_t bytes = static_cast<std::size_t>(n) * RawSectorSize;
            for (std::size_t i = 0; i < bytes; i += 8) {
                const std::uint64_t v = noise.Next();
                for (std::size_t k = 0; k < 8; ++k) {
                    chunk[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
                }
            }
            ok = std::fwrite(chunk.data(), 1, bytes, bin) == bytes;
            done += n;
        }
        lba += lengths[t];
    }
    ok = std::fclose(bin) == 0 && ok;
    std::ofstream(folder + "/image.cue", std::ios::binary) << cue;
    if (!ok) {
        std::fprintf(stderr, "cannot write %s\n", binPath.c_str());
        return 1;
    }
    std::printf("%s: %zu tracks, %d sectors, %lld bytes\n", binPath.c_str(), lengths.size(), lba,
                static_cast<long long>(lba) * RawSectorSize);
    return 0;
}

// The data chunk of a RIFF/WAVE file.
std::optional<std::vector<std::uint8_t>> Payload(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        error = path + ": cannot read";
        return std::nullopt;
    }
    const auto is = [&file](std::size_t at, const char* id) {
        return at + 4 <= file.size() && std::memcmp(file.data() + at, id, 4) == 0;
    };
    if (!is(0, "RIFF") || !is(8, "WAVE")) {
        error = path + ": not a RIFF/WAVE file";
        return std::nullopt;
    }
    for (std::size_t at = 12; at + 8 <= file.size();) {
        const std::size_t size = Le32(file, at + 4);
        if (is(at, "data")) {
            const std::size_t begin = at + 8;
            if (size > file.size() - begin) {
                error = path + ": the data chunk says " + std::to_string(size) + " bytes, the file holds " +
                        std::to_string(file.size() - begin);
                return std::nullopt;
            }
            return std::vector<std::uint8_t>(file.begin() + static_cast<std::ptrdiff_t>(begin),
                                             file.begin() + static_cast<std::ptrdiff_t>(begin + size));
        }
        at += 8 + size + (size & 1);
    }
    error = path + ": no data chunk";
    return std::nullopt;
}

// The shift in samples (4 bytes) that makes b a copy of a around a point in the middle, if any.
std::optional<long> FindShift(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    constexpr long MaxShift = 588 * 20; // 20 sectors either way
    constexpr std::size_t Window = 4096;
    const std::size_t middle = std::min(a.size(), b.size()) / 2 / 4 * 4;
    if (middle < MaxShift * 4 || middle + MaxShift * 4 + Window > std::min(a.size(), b.size())) {
        return std::nullopt;
    }
    for (long s = -MaxShift; s <= MaxShift; ++s) {
        const std::size_t from = static_cast<std::size_t>(static_cast<long>(middle) + s * 4);
        if (std::equal(b.begin() + static_cast<std::ptrdiff_t>(middle),
                       b.begin() + static_cast<std::ptrdiff_t>(middle + Window),
                       a.begin() + static_cast<std::ptrdiff_t>(from))) {
            return s;
        }
    }
    return std::nullopt;
}

int Compare(const std::string& pathA, const std::string& pathB)
{
    std::string error;
    const auto a = Payload(pathA, error);
    const auto b = a ? Payload(pathB, error) : std::nullopt;
    if (!a || !b) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    const auto diff = std::mismatch(a->begin(), a->end(), b->begin(), b->end());
    if (a->size() == b->size() && diff.first == a->end()) {
        return 0;
    }
    const auto at = static_cast<long long>(diff.first - a->begin());
    std::printf("%s: %zu audio bytes; %s: %zu; they differ from byte %lld (sector %lld, sample %lld)\n",
                pathA.c_str(), a->size(), pathB.c_str(), b->size(), at, at / RawSectorSize, at / 4);
    if (const auto shift = FindShift(*a, *b)) {
        std::printf("in the middle, the second is the first shifted by %ld samples\n", *shift);
    }
    return 1;
}

} // namespace
} // namespace tolvane::bench

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "generate" && argc == 3) {
        return tolvane::bench::Generate(argv[2]);
    }
    if (command == "compare" && argc == 4) {
        return tolvane::bench::Compare(argv[2], argv[3]);
    }
    std::fprintf(stderr, "usage: %s generate FOLDER | compare A.wav B.wav\n", argv[0]);
    return 2;
}
