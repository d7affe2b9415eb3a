#include "disc/SampleScan.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TOLVANE_SCAN_AVX2 1
#endif

namespace tolvane::sums::scan {

namespace portable {

Weighted WeightedSum(const std::uint8_t* p, std::size_t n, std::uint32_t weight)
{
    Weighted sum;
    for (; n > 0; --n, p += 4, ++weight) {
        const std::uint32_t sample = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                     std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
        const std::uint64_t product = std::uint64_t{sample} * weight;
        sum.low += static_cast<std::uint32_t>(product);
        sum.high += static_cast<std::uint32_t>(product >> 32);
    }
    return sum;
}

std::uint32_t Peak(const std::uint8_t* p, std::size_t n)
{
    std::uint32_t peak = 0;
    for (; n > 0; --n, p += 2) {
        const auto sample = static_cast<std::int16_t>(p[0] | p[1] << 8);
        peak = std::max(peak, static_cast<std::uint32_t>(sample < 0 ? -sample : sample));
    }
    return peak;
}

bool HasZeroWord(const std::uint8_t* p, std::size_t n)
{
    // Four words at a time, with the classic test for a zero lane.
    constexpr std::uint64_t lows = 0x0001000100010001;
    constexpr std::uint64_t highs = 0x8000800080008000;
    for (; n >= 4; n -= 4, p += 8) {
        std::uint64_t v = 0;
        std::memcpy(&v, p, sizeof v);
        if (((v - lows) & ~v & highs) != 0) {
            return true;
        }
    }
    for (; n > 0; --n, p += 2) {
        if ((p[0] | p[1]) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace portable

#ifdef TOLVANE_SCAN_AVX2
namespace {

__attribute__((target("avx2"))) Weighted WeightedSumAvx2(const std::uint8_t* p, std::size_t n,
                                                         std::uint32_t weight)
{
    // Each 64-bit product's low and high words are added as two 32-bit lanes, so the even lanes of
    // the sum gather the low words and the odd lanes the high words; no per-lane split is needed.
    const __m256i ramp = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i weights = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(weight)), ramp);
    const __m256i step = _mm256_set1_epi32(8);
    __m256i sums = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 4 * i));
        sums = _mm256_add_epi32(sums, _mm256_mul_epu32(s, weights));
        sums = _mm256_add_epi32(sums,
                                _mm256_mul_epu32(_mm256_srli_epi64(s, 32), _mm256_srli_epi64(weights, 32)));
        weights = _mm256_add_epi32(weights, step);
    }
    alignas(32) std::uint32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums);
    Weighted sum;
    sum.low = lanes[0] + lanes[2] + lanes[4] + lanes[6];
    sum.high = lanes[1] + lanes[3] + lanes[5] + lanes[7];
    const Weighted rest = portable::WeightedSum(p + 4 * i, n - i, weight + static_cast<std::uint32_t>(i));
    sum.low += rest.low;
    sum.high += rest.high;
    return sum;
}

__attribute__((target("avx2"))) std::uint32_t PeakAvx2(const std::uint8_t* p, std::size_t n)
{
    // |-32768| stays 0x8000, which read unsigned is the 32768 wanted.
    __m256i peaks = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2 * i));
        peaks = _mm256_max_epu16(peaks, _mm256_abs_epi16(s));
    }
    alignas(32) std::uint16_t lanes[16];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), peaks);
    std::uint32_t peak = *std::max_element(lanes, lanes + 16);
    return std::max(peak, portable::Peak(p + 2 * i, n - i));
}

__attribute__((target("avx2"))) bool HasZeroWordAvx2(const std::uint8_t* p, std::size_t n)
{
    const __m256i zero = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2 * i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2 * i + 32));
        const __m256i zeros = _mm256_or_si256(_mm256_cmpeq_epi16(a, zero), _mm256_cmpeq_epi16(b, zero));
        if (_mm256_testz_si256(zeros, zeros) == 0) {
            return true;
        }
    }
    return portable::HasZeroWord(p + 2 * i, n - i);
}

const bool HaveAvx2 = __builtin_cpu_supports("avx2") != 0;

} // namespace
#endif

Weighted WeightedSum(const std::uint8_t* p, std::size_t n, std::uint32_t weight)
{
#ifdef TOLVANE_SCAN_AVX2
    if (HaveAvx2) {
        return WeightedSumAvx2(p, n, weight);
    }
#endif
    return portable::WeightedSum(p, n, weight);
}

std::uint32_t Peak(const std::uint8_t* p, std::size_t n)
{
#ifdef TOLVANE_SCAN_AVX2
    if (HaveAvx2) {
        return PeakAvx2(p, n);
    }
#endif
    return portable::Peak(p, n);
}

bool HasZeroWord(const std::uint8_t* p, std::size_t n)
{
#ifdef TOLVANE_SCAN_AVX2
    if (HaveAvx2) {
        return HasZeroWordAvx2(p, n);
    }
#endif
    return portable::HasZeroWord(p, n);
}

} // namespace tolvane::sums::scan
