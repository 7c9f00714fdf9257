#pragma once

#include <cstdint>
#include <cstring>

namespace floodmark {

// A run of pixels that a gradient is laid over: premultiplied ARGB32, or 16-bit offsets from
// one opaque colour (5 bits of red, 6 of green, 5 of blue, high to low), which a ground that
// stays within a few levels of its canvas is kept as, exactly.
struct GroundPixels {
    const std::uint32_t* wide = nullptr;
    const std::uint16_t* narrow = nullptr;
    std::uint32_t base = 0;  // with `narrow`: the colour the offsets add to

    static std::uint32_t unpack(std::uint16_t offset, std::uint32_t base) {
        return base + ((offset & 0xf800u) << 5) + ((offset & 0x07e0u) << 3) + (offset & 0x1fu);
    }
    std::uint32_t operator[](int i) const { return wide ? wide[i] : unpack(narrow[i], base); }
    GroundPixels at(int i) const {
        return wide ? GroundPixels{wide + i, nullptr, 0} : GroundPixels{nullptr, narrow + i, base};
    }
    // Writes the first `count` pixels to `to`; nothing to do when they are `to`'s own.
    void copyTo(std::uint32_t* to, int count) const {
        if (wide == to) {
            return;
        }
        if (wide) {
            std::memmove(to, wide, static_cast<std::size_t>(count) * 4);
            return;
        }
        for (int i = 0; i < count; ++i) {
            to[i] = unpack(narrow[i], base);
        }
    }
};

}  // namespace floodmark
