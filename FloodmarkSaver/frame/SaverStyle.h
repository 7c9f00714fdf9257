#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace floodmark {

// The drawing style named by the companion's away-state file.
class SaverStyle {
public:
    enum Case : std::uint8_t { standard, still, bloom, unfold, mosaic, splinter };

    // While true every calm style is drawn as the standard scene instead.
    static constexpr bool calmStylesPaused = true;

    constexpr SaverStyle(Case value) : value_(value) {}
    constexpr Case value() const { return value_; }
    constexpr bool operator==(const SaverStyle&) const = default;

    static std::optional<SaverStyle> fromRawValue(std::string_view raw);
    // Loosely typed: anything but the exact raw value of a style gives `standard`.
    static SaverStyle from(const nlohmann::json* value);
    std::string_view rawValue() const;

    constexpr bool isCalm() const {
        return value_ == bloom || value_ == unfold || value_ == mosaic || value_ == splinter;
    }
    // Fills the whole view with no water body.
    constexpr bool isFullBleed() const { return value_ == mosaic || value_ == splinter; }
    constexpr bool isPaused() const { return calmStylesPaused && isCalm(); }
    // The style drawn in this one's place.
    constexpr SaverStyle drawn() const { return isPaused() ? SaverStyle(standard) : *this; }

private:
    Case value_;
};

}  // namespace floodmark

template <>
struct std::hash<floodmark::SaverStyle> {
    std::size_t operator()(floodmark::SaverStyle style) const noexcept {
        return static_cast<std::size_t>(style.value());
    }
};
