#pragma once

#include <functional>
#include <optional>

namespace floodmark {

// The session's locked state, read from the system at most once a second however many views
// ask.
class SessionLockCache {
public:
    static constexpr double refreshInterval = 1;

    explicit SessionLockCache(std::function<bool()> read) : read_(std::move(read)) {}

    bool locked(double now);

private:
    std::function<bool()> read_;
    bool value_ = false;
    std::optional<double> readAt_;
};

}  // namespace floodmark
