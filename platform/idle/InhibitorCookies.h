#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace floodmark {

// The idle inhibitors that callers on the session bus hold, each under a cookie and its
// caller's bus name. Bounded, since any program on the bus may ask.
class InhibitorCookies {
public:
    static constexpr std::size_t limit = 256;

    // Cookies are handed out counting up from `firstCookie`.
    explicit InhibitorCookies(std::uint32_t firstCookie = 1) : next_(firstCookie) {}

    // A new cookie for `holder` (never 0, never one in use); absent once `limit` are held.
    std::optional<std::uint32_t> add(std::string_view holder);
    // Ends `holder`'s own inhibitor; another caller's cookie or an unknown one changes nothing.
    void release(std::uint32_t cookie, std::string_view holder);
    // `holder` left the bus: its inhibitors end with it.
    void holderLeft(std::string_view holder);
    void clear() { holders_.clear(); }
    bool empty() const { return holders_.empty(); }
    std::size_t size() const { return holders_.size(); }

private:
    std::map<std::uint32_t, std::string, std::less<>> holders_;
    std::uint32_t next_;
};

}  // namespace floodmark
