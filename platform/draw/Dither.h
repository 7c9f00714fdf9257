#pragma once

#include <cmath>
#include <cstdint>

namespace floodmark {

// A fixed offset of -1/2 to +1/2 of a level for the pixel in `column` and `row` (row 0 at the
// top), added to a colour before it is rounded to 8 bits: gradients then show no bands, and
// since the pattern never changes from frame to frame, a picture drawn again is the same.
// Interleaved gradient noise over a tile of 64 × 64 pixels, in single precision exactly as the
// GPU shader computes it. Columns and rows are not negative, so truncating floors.
inline constexpr int ditherTile = 64;

inline float ditherOffset(int column, int row) {
    float mixed = 0.06711056f * static_cast<float>(column % ditherTile) +
                  0.00583715f * static_cast<float>(row % ditherTile);
    mixed -= static_cast<float>(static_cast<int>(mixed));
    float noise = 52.9829189f * mixed;
    noise -= static_cast<float>(static_cast<int>(noise));
    return noise - 0.5f;
}

// The tile's offsets in 65536ths of a level for one row, laid out twice side by side: from
// `ditherTileRow(row) + column % ditherTile` on, 64 offsets follow in order, so a run of
// pixels reads them as one contiguous array (which the compiler vectorises).
inline const std::int32_t* ditherTileRow(int row) {
    static const auto table = [] {
        auto* offsets = new std::int32_t[ditherTile * ditherTile * 2];
        for (int y = 0; y < ditherTile; ++y) {
            for (int x = 0; x < 2 * ditherTile; ++x) {
                offsets[y * 2 * ditherTile + x] = static_cast<std::int32_t>(
                    std::lround(ditherOffset(x % ditherTile, y) * 65536.0f));
            }
        }
        return offsets;
    }();
    return table + (row % ditherTile) * 2 * ditherTile;
}

}  // namespace floodmark
