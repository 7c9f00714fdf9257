#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string_view>

namespace floodmark {

// A one-shot impulse that makes the surface burst.
class ImpulseKind {
public:
    enum Case : std::uint8_t { compaction, failure, sessionEnd };

    constexpr ImpulseKind(Case value) : value_(value) {}
    constexpr Case value() const { return value_; }
    constexpr bool operator==(const ImpulseKind&) const = default;

    static std::optional<ImpulseKind> fromRawValue(std::string_view raw);
    // Loosely typed: only a text that is exactly a raw value names a kind.
    static std::optional<ImpulseKind> from(const nlohmann::json* value);
    std::string_view rawValue() const;

    // A pop instead of a ripple.
    constexpr bool isPop() const { return value_ == sessionEnd; }

private:
    Case value_;
};

}  // namespace floodmark
