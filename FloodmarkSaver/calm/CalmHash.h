#pragma once

#include <cmath>
#include <cstdint>

namespace floodmark::CalmHash {

// The output function of the SplitMix64 generator, applied directly to `z`.
constexpr std::uint64_t mix(std::uint64_t z) {
    z ^= z >> 30;
    z *= 0xBF58476D1CE4E5B9ULL;
    z ^= z >> 27;
    z *= 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return z;
}

// A value in 0…1 from the low half of mix(z).
constexpr double unit(std::uint64_t z) {
    return static_cast<double>(mix(z) & 0xFFFFFFFFULL) / 4294967295.0;
}

// `v` less its integer part toward zero: it keeps the sign of `v`.
inline double frac(double v) {
    return v - std::trunc(v);
}

inline constexpr std::uint64_t golden = 0x9E3779B97F4A7C15ULL;

}  // namespace floodmark::CalmHash
