#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace floodmark {

// Why a GPU draw presented nothing.
class DrawMiss {
public:
    enum Case : std::uint8_t { skipped, noSize, noDrawable, encodeFailed };

    constexpr DrawMiss(Case value) : value_(value) {}
    constexpr Case value() const { return value_; }
    constexpr bool operator==(const DrawMiss&) const = default;

    static std::optional<DrawMiss> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;

private:
    Case value_;
};

}  // namespace floodmark
