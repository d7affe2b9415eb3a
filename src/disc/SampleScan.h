// The inner loops of the track checksums, over whole 16-bit words or 32-bit stereo samples in
// memory: with AVX2 where the processor has it, else portable code that gives the same answers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvane::sums::scan {

// Sum over i < n of sample[i] * (weight + i), the samples little-endian 32-bit words at p, each
// product's low and high 32-bit words summed apart (modulo 2^32): AccurateRip's v1 takes the low
// sum, v2 both.
struct Weighted {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
};
Weighted WeightedSum(const std::uint8_t* p, std::size_t n, std::uint32_t weight);

// The largest magnitude of n signed 16-bit little-endian words at p, 0 to 32768.
std::uint32_t Peak(const std::uint8_t* p, std::size_t n);

// Whether one of n 16-bit words at p is zero.
bool HasZeroWord(const std::uint8_t* p, std::size_t n);

// The portable forms, for the tests that hold the fast ones against them.
namespace portable {
Weighted WeightedSum(const std::uint8_t* p, std::size_t n, std::uint32_t weight);
std::uint32_t Peak(const std::uint8_t* p, std::size_t n);
bool HasZeroWord(const std::uint8_t* p, std::size_t n);
} // namespace portable

} // namespace tolvane::sums::scan
