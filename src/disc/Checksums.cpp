#include "disc/Checksums.h"

#include <algorithm>
#include <array>

namespace tolvane::sums {
namespace {

constexpr std::uint64_t HiddenSamples = 5 * SamplesPerSector;

// Eight tables, so a step takes eight bytes at once (slicing-by-8).
constexpr std::array<std::array<std::uint32_t, 256>, 8> MakeCrcTables()
{
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) != 0 ? 0xEDB88320 ^ (c >> 1) : c >> 1;
        }
        t[0][i] = c;
    }
    for (std::size_t s = 1; s < 8; ++s) {
        for (std::size_t i = 0; i < 256; ++i) {
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
        }
    }
    return t;
}
constexpr auto CrcTables = MakeCrcTables();

} // namespace

AccurateRipChecksum::AccurateRipChecksum(std::uint64_t trackSamples, bool firstTrack, bool lastTrack)
    : from_(firstTrack ? HiddenSamples : 1), to_(!lastTrack                     ? trackSamples
                                                 : trackSamples > HiddenSamples ? trackSamples - HiddenSamples
                                                                                : 0)
{
}

void AccurateRipChecksum::AddSample(std::uint32_t sample)
{
    if (position_ >= from_ && position_ <= to_) {
        const std::uint64_t product = std::uint64_t{sample} * static_cast<std::uint32_t>(position_);
        v1_ += static_cast<std::uint32_t>(product);
        v2_ += static_cast<std::uint32_t>(product) + static_cast<std::uint32_t>(product >> 32);
    }
    ++position_;
}

void AccurateRipChecksum::Add(ConstBytes pcm)
{
    if (partialSize_ != 0) {
        // The rest of a sample an earlier piece began.
        const std::size_t take = std::min(pcm.size(), partial_.size() - partialSize_);
        std::copy_n(pcm.begin(), take, partial_.begin() + static_cast<std::ptrdiff_t>(partialSize_));
        partialSize_ += take;
        pcm = pcm.subspan(take);
        if (partialSize_ < partial_.size()) {
            return;
        }
        AddSample(Le32(partial_, 0));
        partialSize_ = 0;
    }
    const std::size_t whole = pcm.size() / 4;
    // Only the samples inside the counted range are summed, in one loop without a test per sample;
    // v1 is the sum of the products' low words, v2 adds their high words.
    const std::uint64_t first = std::max(position_, from_);
    const std::uint64_t last = std::min(position_ + whole, to_ + 1); // one past
    if (first < last) {
        const std::uint8_t* p = pcm.data() + (first - position_) * 4;
        auto weight = static_cast<std::uint32_t>(first);
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        for (std::uint64_t n = last - first; n > 0; --n, p += 4, ++weight) {
            const std::uint32_t sample = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                         std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
            const std::uint64_t product = std::uint64_t{sample} * weight;
            low += static_cast<std::uint32_t>(product);
            high += static_cast<std::uint32_t>(product >> 32);
        }
        v1_ += low;
        v2_ += low + high;
    }
    position_ += whole;
    partialSize_ = pcm.size() - whole * 4;
    std::copy_n(pcm.begin() + static_cast<std::ptrdiff_t>(whole * 4), partialSize_, partial_.begin());
}

std::vector<int> FindOffsets(std::span<const std::uint32_t> samples, std::size_t margin, bool firstTrack,
                             bool lastTrack, std::span<const std::uint32_t> known)
{
    std::vector<int> found;
    if (samples.size() <= 2 * margin) {
        return found;
    }
    const std::uint64_t trackSamples = samples.size() - 2 * margin;
    const std::uint64_t from = firstTrack ? HiddenSamples : 1;
    const std::uint64_t to = !lastTrack                     ? trackSamples
                             : trackSamples > HiddenSamples ? trackSamples - HiddenSamples
                                                            : 0;
    if (from > to) {
        return found;
    }
    // Weight i takes samples[base + i - 1]; base 0 is the correction -margin.
    const auto at = [&samples](std::size_t base, std::uint64_t i) { return samples[base + i - 1]; };
    std::uint32_t v1 = 0;
    std::uint32_t window = 0; // the samples of weights from+1 .. to
    for (std::uint64_t i = from; i <= to; ++i) {
        v1 += static_cast<std::uint32_t>(i) * at(0, i);
        window += i > from ? at(0, i) : 0;
    }
    const auto f = static_cast<std::uint32_t>(from);
    const auto t = static_cast<std::uint32_t>(to);
    for (std::size_t base = 0;; ++base) {
        if (std::find(known.begin(), known.end(), v1) != known.end()) {
            found.push_back(static_cast<int>(base) - static_cast<int>(margin));
        }
        if (base == 2 * margin) {
            break;
        }
        // One sample later: every weight falls by one, the first sample leaves, a new one comes last.
        v1 = v1 - window - f * at(base, from) + t * at(base, to + 1);
        window = window - at(base, from + 1) + at(base, to + 1);
    }
    return found;
}

void Crc32::Add(ConstBytes bytes)
{
    std::uint32_t c = crc_;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        const std::uint32_t lo = c ^ Le32(bytes, i);
        const std::uint32_t hi = Le32(bytes, i + 4);
        c = CrcTables[7][lo & 0xFF] ^ CrcTables[6][(lo >> 8) & 0xFF] ^ CrcTables[5][(lo >> 16) & 0xFF] ^
            CrcTables[4][lo >> 24] ^ CrcTables[3][hi & 0xFF] ^ CrcTables[2][(hi >> 8) & 0xFF] ^
            CrcTables[1][(hi >> 16) & 0xFF] ^ CrcTables[0][hi >> 24];
    }
    for (; i < bytes.size(); ++i) {
        c = CrcTables[0][(c ^ bytes[i]) & 0xFF] ^ (c >> 8);
    }
    crc_ = c;
}

namespace {

constexpr std::uint32_t Rotl(std::uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

} // namespace

void Sha1::Block(const std::uint8_t* block)
{
    std::array<std::uint32_t, 80> w{};
    for (std::size_t i = 0; i < 16; ++i) {
        w[i] = Be32(ConstBytes(block, 64), i * 4);
    }
    for (std::size_t i = 16; i < 80; ++i) {
        w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    }
    auto [a, b, c, d, e] = h_;
    for (std::size_t i = 0; i < 80; ++i) {
        std::uint32_t f = 0;
        std::uint32_t k = 0;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const std::uint32_t t = Rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = Rotl(b, 30);
        b = a;
        a = t;
    }
    h_[0] += a;
    h_[1] += b;
    h_[2] += c;
    h_[3] += d;
    h_[4] += e;
}

void Sha1::Add(ConstBytes bytes)
{
    length_ += bytes.size();
    while (!bytes.empty()) {
        const std::size_t take = std::min(bytes.size(), pending_.size() - pendingSize_);
        std::copy_n(bytes.begin(), take, pending_.begin() + static_cast<std::ptrdiff_t>(pendingSize_));
        pendingSize_ += take;
        bytes = bytes.subspan(take);
        if (pendingSize_ == pending_.size()) {
            Block(pending_.data());
            pendingSize_ = 0;
        }
    }
}

std::array<std::uint8_t, 20> Sha1::Digest() const
{
    // Padding: a one bit, zeros up to 56 bytes of the last block, then the length in bits.
    Sha1 last = *this;
    const std::uint64_t bits = length_ * 8;
    const std::uint8_t one = 0x80;
    last.Add(ConstBytes(&one, 1));
    const std::uint8_t zero = 0;
    while (last.pendingSize_ != 56) {
        last.Add(ConstBytes(&zero, 1));
    }
    std::array<std::uint8_t, 8> size{};
    for (std::size_t i = 0; i < 8; ++i) {
        size[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    }
    last.Add(size);
    std::array<std::uint8_t, 20> digest{};
    for (std::size_t i = 0; i < 20; ++i) {
        digest[i] = static_cast<std::uint8_t>(last.h_[i / 4] >> (24 - 8 * (i % 4)));
    }
    return digest;
}

} // namespace tolvane::sums
