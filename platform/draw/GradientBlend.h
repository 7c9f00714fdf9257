#pragma once

#include "platform/draw/DitheredGradient.h"
#include "platform/draw/GroundPixels.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace floodmark {

// A premultiplied pixel under a source, each colour rounded with `offset` (65536ths of a
// level). The source's alpha and levels come with a half added: every sum is non-negative,
// so shifting after adding a half rounds.
inline std::uint32_t blendPixel(std::uint32_t pixel, std::int32_t offset, std::int32_t keep,
                                std::int32_t alphaAndHalf, const std::int32_t levelsAndHalf[3]) {
    const std::int32_t alphaByte =
        (static_cast<std::int32_t>(pixel >> 24) * keep + alphaAndHalf) >> 16;
    auto channel = [&](int shift, std::int32_t level) {
        std::int32_t sum =
            static_cast<std::int32_t>((pixel >> shift) & 0xff) * keep + level + offset;
        return static_cast<std::uint32_t>(std::min(std::max(sum >> 16, 0), alphaByte));
    };
    return static_cast<std::uint32_t>(alphaByte) << 24 | channel(16, levelsAndHalf[0]) << 16 |
           channel(8, levelsAndHalf[1]) << 8 | channel(0, levelsAndHalf[2]);
}

// The gradient's colour at one place and coverage, premultiplied, in 65536ths of a level,
// ready to be laid over pixels in integers.
struct GradientSource {
    double s = -1;
    int coverage = -1;
    std::int32_t keep = 65536;  // what is left of the pixel under it
    std::int32_t alpha = 0;
    std::int32_t levels[3] = {0, 0, 0};

    void update(const GradientSpec& gradient, double place, int cover) {
        if (place == s && cover == coverage) {
            return;
        }
        s = place;
        coverage = cover;
        const Color& from = gradient.from;
        const Color& to = gradient.to;
        double opacity = (from.alpha + (to.alpha - from.alpha) * place) * cover / 255.0;
        // Rounds half away from zero as std::lround, which costs a library call a pixel on a
        // radial gradient: for the non-negative values here truncating and comparing the
        // remainder (which is exact) gives the same.
        auto fixed = [](double value) {
            const double scaled = value * 65536;
            if (!(scaled >= 0 && scaled < 2e9)) {
                return static_cast<std::int32_t>(std::lround(scaled));
            }
            const auto whole = static_cast<std::int32_t>(scaled);
            return whole + (scaled - whole >= 0.5 ? 1 : 0);
        };
        keep = fixed(1 - opacity);
        alpha = fixed(opacity * 255);
        levels[0] = fixed((from.red + (to.red - from.red) * place) * opacity * 255);
        levels[1] = fixed((from.green + (to.green - from.green) * place) * opacity * 255);
        levels[2] = fixed((from.blue + (to.blue - from.blue) * place) * opacity * 255);
    }

    // Over a premultiplied pixel, each colour rounded with `offset` (65536ths of a level).
    std::uint32_t over(std::uint32_t pixel, std::int32_t offset) const {
        const std::int32_t levelsAndHalf[3] = {levels[0] + 32768, levels[1] + 32768,
                                               levels[2] + 32768};
        return blendPixel(pixel, offset, keep, alpha + 32768, levelsAndHalf);
    }
};

// Lays `source` over `count` pixels of `from` into `to` (the same pixels, or a layer's under
// them), the i-th in column `column` + i, rounded with that column's offset in the dither row
// `offsets` (ditherTileRow), vectorised for the processor it runs on.
void blendRun(GroundPixels from, std::uint32_t* to, const std::int32_t* offsets, int column,
              int count, const GradientSource& source);

}  // namespace floodmark
