#include "platform/draw/GradientBlend.h"

#include "platform/draw/Dither.h"

namespace floodmark {

namespace {

// A packed ground's offsets and the colour they add to, as the vectorised loop reads them.
struct NarrowPixels {
    const std::uint16_t* __restrict offsets;
    std::uint32_t base;
};

// Lays `source` over `count` pixels of `from` into `to` (the same pixels, or a layer's under
// them), the i-th rounded with the dither row's offset for column `column` + i. Free of
// branches within a tile, so the compiler vectorises it; a whole row is one call. Written once
// and compiled for both cases and both instruction sets below.
[[gnu::always_inline]] inline void blendRunBody(const std::uint32_t* from, std::uint32_t* to,
                                                const std::int32_t* __restrict offsets, int column,
                                                int count, const GradientSource& source) {
    const std::int32_t keep = source.keep;
    const std::int32_t alpha = source.alpha + 32768;
    const std::int32_t levels[3] = {source.levels[0] + 32768, source.levels[1] + 32768,
                                    source.levels[2] + 32768};
    for (int start = 0; start < count; start += ditherTile) {
        const int end = std::min(count, start + ditherTile);
        const std::int32_t* tile = offsets + (column + start) % ditherTile;
        for (int i = start; i < end; ++i) {
            to[i] = blendPixel(from[i], tile[i - start], keep, alpha, levels);
        }
    }
}

// The same over a packed ground, which is opaque: the alpha and each colour's share of the base
// are the same for the whole run, and only the offsets are multiplied, which gives the same sums.
[[gnu::always_inline]] inline void blendPackedBody(NarrowPixels from, std::uint32_t* to,
                                                   const std::int32_t* __restrict offsets,
                                                   int column, int count,
                                                   const GradientSource& source) {
    const std::int32_t keep = source.keep;
    const std::int32_t alphaByte = (255 * keep + source.alpha + 32768) >> 16;
    auto share = [&](int shift, std::int32_t level) {
        return static_cast<std::int32_t>((from.base >> shift) & 0xff) * keep + level + 32768;
    };
    const std::int32_t red = share(16, source.levels[0]);
    const std::int32_t green = share(8, source.levels[1]);
    const std::int32_t blue = share(0, source.levels[2]);
    auto clamped = [&](std::int32_t sum) {
        return static_cast<std::uint32_t>(std::min(std::max(sum >> 16, 0), alphaByte));
    };
    for (int start = 0; start < count; start += ditherTile) {
        const int end = std::min(count, start + ditherTile);
        const std::int32_t* tile = offsets + (column + start) % ditherTile;
        for (int i = start; i < end; ++i) {
            const std::int32_t value = from.offsets[i];
            const std::int32_t dither = tile[i - start];
            to[i] = static_cast<std::uint32_t>(alphaByte) << 24 |
                    clamped((value >> 11) * keep + red + dither) << 16 |
                    clamped(((value >> 5) & 0x3f) * keep + green + dither) << 8 |
                    clamped((value & 0x1f) * keep + blue + dither);
        }
    }
}

// With AVX2, whose 32-bit multiplies take one instruction for eight pixels.
[[gnu::target("avx2")]] void blendInPlaceAvx2(std::uint32_t* __restrict to,
                                              const std::int32_t* __restrict offsets, int column,
                                              int count, const GradientSource& source) {
    blendRunBody(to, to, offsets, column, count, source);
}

[[gnu::target("avx2")]] void blendAcrossAvx2(const std::uint32_t* __restrict from,
                                             std::uint32_t* __restrict to,
                                             const std::int32_t* __restrict offsets, int column,
                                             int count, const GradientSource& source) {
    blendRunBody(from, to, offsets, column, count, source);
}

[[gnu::target("avx2")]] void blendPackedAvx2(NarrowPixels from, std::uint32_t* __restrict to,
                                             const std::int32_t* __restrict offsets, int column,
                                             int count, const GradientSource& source) {
    blendPackedBody(from, to, offsets, column, count, source);
}

void blendInPlacePlain(std::uint32_t* __restrict to, const std::int32_t* __restrict offsets,
                       int column, int count, const GradientSource& source) {
    blendRunBody(to, to, offsets, column, count, source);
}

void blendAcrossPlain(const std::uint32_t* __restrict from, std::uint32_t* __restrict to,
                      const std::int32_t* __restrict offsets, int column, int count,
                      const GradientSource& source) {
    blendRunBody(from, to, offsets, column, count, source);
}

void blendPackedPlain(NarrowPixels from, std::uint32_t* __restrict to,
                      const std::int32_t* __restrict offsets, int column, int count,
                      const GradientSource& source) {
    blendPackedBody(from, to, offsets, column, count, source);
}

}  // namespace

void blendRun(GroundPixels from, std::uint32_t* to, const std::int32_t* offsets, int column,
              int count, const GradientSource& source) {
    // Chosen at the first call, not by the loader (an ifunc): the thread sanitizer's run-time
    // is not ready when the loader resolves one, and the program crashes before main.
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (from.narrow) {
        const NarrowPixels pixels{from.narrow, from.base};
        avx2 ? blendPackedAvx2(pixels, to, offsets, column, count, source)
             : blendPackedPlain(pixels, to, offsets, column, count, source);
    } else if (from.wide == to) {
        avx2 ? blendInPlaceAvx2(to, offsets, column, count, source)
             : blendInPlacePlain(to, offsets, column, count, source);
    } else {
        avx2 ? blendAcrossAvx2(from.wide, to, offsets, column, count, source)
             : blendAcrossPlain(from.wide, to, offsets, column, count, source);
    }
}

}  // namespace floodmark
