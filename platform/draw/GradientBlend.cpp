#include "platform/draw/GradientBlend.h"

namespace floodmark {

namespace {

// Lays `source` over `count` pixels of `from` into `to` (the same pixels, or a layer's under
// them), the i-th rounded with offsets[i]. Free of branches, so the compiler vectorises it.
// Written once and compiled for both cases and both instruction sets below.
[[gnu::always_inline]] inline void blendRunBody(const std::uint32_t* from, std::uint32_t* to,
                                                const std::int32_t* __restrict offsets, int count,
                                                const GradientSource& source) {
    const std::int32_t keep = source.keep;
    const std::int32_t alpha = source.alpha + 32768;
    const std::int32_t levels[3] = {source.levels[0] + 32768, source.levels[1] + 32768,
                                    source.levels[2] + 32768};
    for (int i = 0; i < count; ++i) {
        to[i] = blendPixel(from[i], offsets[i], keep, alpha, levels);
    }
}

using BlendRun = void (*)(const std::uint32_t*, std::uint32_t*, const std::int32_t*, int,
                          const GradientSource&);

// With AVX2, whose 32-bit multiplies take one instruction for eight pixels.
[[gnu::target("avx2")]] void blendInPlaceAvx2(const std::uint32_t*, std::uint32_t* __restrict to,
                                              const std::int32_t* __restrict offsets, int count,
                                              const GradientSource& source) {
    blendRunBody(to, to, offsets, count, source);
}

[[gnu::target("avx2")]] void blendAcrossAvx2(const std::uint32_t* __restrict from,
                                             std::uint32_t* __restrict to,
                                             const std::int32_t* __restrict offsets, int count,
                                             const GradientSource& source) {
    blendRunBody(from, to, offsets, count, source);
}

void blendInPlacePlain(const std::uint32_t*, std::uint32_t* __restrict to,
                       const std::int32_t* __restrict offsets, int count,
                       const GradientSource& source) {
    blendRunBody(to, to, offsets, count, source);
}

void blendAcrossPlain(const std::uint32_t* __restrict from, std::uint32_t* __restrict to,
                      const std::int32_t* __restrict offsets, int count,
                      const GradientSource& source) {
    blendRunBody(from, to, offsets, count, source);
}

}  // namespace

void blendRun(const std::uint32_t* from, std::uint32_t* to, const std::int32_t* offsets, int count,
              const GradientSource& source) {
    // Chosen at the first call, not by the loader (an ifunc): the thread sanitizer's run-time
    // is not ready when the loader resolves one, and the program crashes before main.
    static const bool avx2 = __builtin_cpu_supports("avx2");
    BlendRun chosen = from == to ? (avx2 ? blendInPlaceAvx2 : blendInPlacePlain)
                                 : (avx2 ? blendAcrossAvx2 : blendAcrossPlain);
    chosen(from, to, offsets, count, source);
}

}  // namespace floodmark
