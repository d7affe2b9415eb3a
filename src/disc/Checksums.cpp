#include "disc/Checksums.h"

#include "disc/SampleScan.h"

#include <algorithm>
#include <array>
#include <cstring>

#ifdef TOLVANE_HAVE_ISAL
#include <isa-l/crc.h>
#endif

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
        const scan::Weighted sum = scan::WeightedSum(pcm.data() + (first - position_) * 4, last - first,
                                                     static_cast<std::uint32_t>(first));
        const std::uint32_t low = sum.low;
        const std::uint32_t high = sum.high;
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

std::uint32_t Crc32Portable(std::uint32_t crc, ConstBytes bytes)
{
    std::uint32_t c = ~crc;
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
    return ~c;
}

void Crc32::Add(ConstBytes bytes)
{
#ifdef TOLVANE_HAVE_ISAL
    // Intel's carry-less multiply folding: five to eight times the tables' speed.
    crc_ = ~crc32_gzip_refl(~crc_, bytes.data(), bytes.size());
#else
    crc_ = ~Crc32Portable(~crc_, bytes);
#endif
}

namespace {

// Polynomials over GF(2) modulo the CRC's, bit-reversed as the CRC keeps them (x^0 is the top bit).
constexpr std::uint32_t CrcPolynomial = 0xEDB88320;

constexpr std::uint32_t MultiplyModP(std::uint32_t a, std::uint32_t b)
{
    std::uint32_t product = 0;
    for (std::uint32_t bit = 0x80000000; bit != 0; bit >>= 1) {
        if ((a & bit) != 0) {
            product ^= b;
        }
        b = (b & 1) != 0 ? (b >> 1) ^ CrcPolynomial : b >> 1;
    }
    return product;
}

// x^(2^k) mod P for k = 0..63, so x^n takes one multiplication per set bit of n.
constexpr std::array<std::uint32_t, 64> MakePowers()
{
    std::array<std::uint32_t, 64> p{};
    p[0] = 0x40000000; // x^1
    for (std::size_t k = 1; k < p.size(); ++k) {
        p[k] = MultiplyModP(p[k - 1], p[k - 1]);
    }
    return p;
}
constexpr auto Powers = MakePowers();

} // namespace

std::uint32_t Crc32::Combine(std::uint32_t first, std::uint32_t second, std::uint64_t secondBytes)
{
    // Appending n bytes multiplies the first run's remainder by x^(8n); the second CRC's own
    // start value and final inversion cancel out against the first's.
    std::uint32_t shift = 0x80000000; // x^0
    std::uint64_t bits = secondBytes;
    for (std::size_t k = 3; bits != 0; bits >>= 1, ++k) {
        if ((bits & 1) != 0) {
            shift = MultiplyModP(Powers[k % Powers.size()], shift);
        }
    }
    return MultiplyModP(shift, first) ^ second;
}

namespace {

constexpr std::uint64_t WordLows = 0x0001000100010001;
constexpr std::uint64_t WordHighs = 0x8000800080008000;

// Whether any of the four 16-bit words of v is zero (the classic test for a zero lane).
constexpr bool HasZeroLane(std::uint64_t v)
{
    return ((v - WordLows) & ~v & WordHighs) != 0;
}

std::uint64_t Load64(const std::uint8_t* p)
{
    std::uint64_t v = 0;
    std::memcpy(&v, p, sizeof v);
    return v;
}

} // namespace

void Crc32WithoutNulls::Add(ConstBytes bytes)
{
    if (hasPending_ && !bytes.empty()) {
        const std::array<std::uint8_t, 2> word{pending_, bytes[0]};
        if ((word[0] | word[1]) != 0) {
            crc_.Add(word);
        }
        hasPending_ = false;
        bytes = bytes.subspan(1);
    }
    // Music seldom holds an exact zero sample: a block without one goes to the CRC as it is; the
    // others have their zero words taken out, eight bytes at a time where none is zero.
    std::array<std::uint8_t, 4096> kept;
    while (bytes.size() >= 2) {
        const std::size_t size = std::min(bytes.size() & ~std::size_t{1}, kept.size());
        if (!scan::HasZeroWord(bytes.data(), size / 2)) {
            crc_.Add(bytes.first(size));
        } else {
            std::size_t i = 0;
            std::size_t n = 0;
            for (; i + 8 <= size; i += 8) {
                const std::uint64_t v = Load64(bytes.data() + i);
                if (v == 0) { // silence
                    continue;
                }
                if (!HasZeroLane(v)) {
                    std::memcpy(kept.data() + n, &v, sizeof v);
                    n += 8;
                    continue;
                }
                for (std::size_t k = i; k < i + 8; k += 2) {
                    kept[n] = bytes[k];
                    kept[n + 1] = bytes[k + 1];
                    n += (bytes[k] | bytes[k + 1]) != 0 ? 2 : 0;
                }
            }
            for (; i < size; i += 2) {
                kept[n] = bytes[i];
                kept[n + 1] = bytes[i + 1];
                n += (bytes[i] | bytes[i + 1]) != 0 ? 2 : 0;
            }
            crc_.Add(ConstBytes(kept.data(), n));
        }
        bytes = bytes.subspan(size);
    }
    if (bytes.size() == 1) {
        pending_ = bytes[0];
        hasPending_ = true;
    }
}

TrackChecksums::TrackChecksums(std::uint64_t trackSamples, bool firstTrack, bool lastTrack,
                               std::uint64_t audioSamples)
    : accurateRip_(trackSamples, firstTrack, lastTrack)
{
    const std::uint64_t bytes = trackSamples * 4;
    headEnd_ = std::min(bytes, CtdbHeadSamples(firstTrack) * 4);
    const std::uint64_t tail = CtdbTailSamples(lastTrack, audioSamples) * 4;
    tailStart_ = std::max(headEnd_, bytes > tail ? bytes - tail : 0);
}

void TrackChecksums::Add(ConstBytes pcm)
{
    accurateRip_.Add(pcm);
    withoutNulls_.Add(pcm);
    // 16-bit samples; one split by a piece's edge is joined from its two halves.
    std::uint32_t peak = peak_;
    std::size_t i = position_ % 2;
    if (i == 1 && !pcm.empty()) {
        const auto sample = static_cast<std::int16_t>(lowByte_ | pcm[0] << 8);
        peak = std::max(peak, static_cast<std::uint32_t>(sample < 0 ? -sample : sample));
    }
    const std::size_t words = (pcm.size() - std::min(i, pcm.size())) / 2;
    peak = std::max(peak, scan::Peak(pcm.data() + i, words));
    i += 2 * words;
    if (i < pcm.size()) {
        lowByte_ = pcm[i];
    }
    peak_ = peak;
    while (!pcm.empty()) {
        const std::size_t run = position_ < headEnd_ ? 0 : position_ < tailStart_ ? 1 : 2;
        const std::uint64_t runEnd = run == 0 ? headEnd_ : run == 1 ? tailStart_ : ~std::uint64_t{0};
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(pcm.size(), runEnd - position_));
        runs_[run].Add(pcm.first(take));
        runBytes_[run] += take;
        position_ += take;
        pcm = pcm.subspan(take);
    }
}

TrackChecksums::Sums TrackChecksums::Result() const
{
    Sums s;
    s.v1 = accurateRip_.V1();
    s.v2 = accurateRip_.V2();
    s.crc32 = Crc32::Combine(Crc32::Combine(runs_[0].Value(), runs_[1].Value(), runBytes_[1]),
                             runs_[2].Value(), runBytes_[2]);
    s.withoutNulls = withoutNulls_.Value();
    s.ctdb = runs_[1].Value();
    s.ctdbBytes = tailStart_ - headEnd_;
    s.peak = peak_;
    return s;
}

std::uint32_t CtdbDiscCrc(std::span<const TrackChecksums::Sums> tracks)
{
    std::uint32_t crc = 0;
    for (const auto& t : tracks) {
        crc = Crc32::Combine(crc, t.ctdb, t.ctdbBytes);
    }
    return crc;
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
