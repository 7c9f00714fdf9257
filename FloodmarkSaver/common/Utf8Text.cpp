#include "FloodmarkSaver/common/Utf8Text.h"

#include <cstdint>

namespace floodmark {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence at `at`, or 0 when there is none; its code
// point in `point`.
std::size_t sequenceAt(std::string_view text, std::size_t at, std::uint32_t& point) {
    auto byte = [&](std::size_t index) { return static_cast<unsigned char>(text[index]); };
    unsigned char lead = byte(at);
    std::size_t length = 0;
    std::uint32_t least = 0;
    if (lead < 0x80) {
        point = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, point = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, point = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, point = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (std::size_t index = 1; index < length; ++index) {
        if ((byte(at + index) & 0xC0) != 0x80) {
            return 0;
        }
        point = (point << 6) | (byte(at + index) & 0x3F);
    }
    bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    return point < least || surrogate || point > 0x10FFFF ? 0 : length;
}

bool isControl(std::uint32_t point) {
    return point < 0x20 || (point >= 0x7F && point <= 0x9F);
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    std::uint32_t point = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = sequenceAt(text, at, point);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

std::string printableText(std::string_view text) {
    std::string printable;
    printable.reserve(text.size());
    std::uint32_t point = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = sequenceAt(text, at, point);
        if (length == 0 || isControl(point)) {
            printable += replacement;
            at += length == 0 ? 1 : length;
        } else {
            printable += text.substr(at, length);
            at += length;
        }
    }
    return printable;
}

}  // namespace floodmark
