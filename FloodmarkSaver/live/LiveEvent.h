#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace floodmark {

// What an agent hook reports; matched by its exact wire string.
class LiveEvent {
public:
    enum Case : std::uint8_t {
        promptSubmitted,
        toolCall,
        compaction,
        toolFailure,
        stop,
        awaiting,
        halted,
    };

    constexpr LiveEvent(Case value) : value_(value) {}
    constexpr Case value() const { return value_; }
    constexpr bool operator==(const LiveEvent&) const = default;

    static std::optional<LiveEvent> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;

private:
    Case value_;
};

// Why live work stopped short: the only values of a signal's error kind and of a reading's
// stopped field.
namespace StoppedKind {
inline constexpr std::string_view rateLimit = "rate_limit";
inline constexpr std::string_view error = "error";
}  // namespace StoppedKind

}  // namespace floodmark

template <>
struct std::hash<floodmark::LiveEvent> {
    std::size_t operator()(floodmark::LiveEvent event) const noexcept {
        return static_cast<std::size_t>(event.value());
    }
};
