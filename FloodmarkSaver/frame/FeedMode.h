#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace floodmark {

// Which source drives the water.
class FeedMode {
public:
    enum Case : std::uint8_t {
        paired,   // the companion's away-state file
        live,     // this process owns the live socket
        ambient,  // nothing is connected; the water rests
    };

    constexpr FeedMode(Case value) : value_(value) {}
    constexpr Case value() const { return value_; }
    constexpr bool operator==(const FeedMode&) const = default;

    static std::optional<FeedMode> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;

private:
    Case value_;
};

}  // namespace floodmark
