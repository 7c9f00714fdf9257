#include "platform/idle/InhibitorCookies.h"

namespace floodmark {

std::optional<std::uint32_t> InhibitorCookies::add(std::string_view holder) {
    if (holders_.size() >= limit) {
        return std::nullopt;
    }
    // Fewer than `limit` cookies are in use, so this ends within `limit` + 1 steps, also where
    // the counter wraps around.
    while (next_ == 0 || holders_.contains(next_)) {
        ++next_;
    }
    std::uint32_t cookie = next_++;
    holders_.emplace(cookie, holder);
    return cookie;
}

void InhibitorCookies::release(std::uint32_t cookie, std::string_view holder) {
    auto found = holders_.find(cookie);
    if (found != holders_.end() && found->second == holder) {
        holders_.erase(found);
    }
}

void InhibitorCookies::holderLeft(std::string_view holder) {
    std::erase_if(holders_, [&](const auto& entry) { return entry.second == holder; });
}

}  // namespace floodmark
