#pragma once

#include <functional>
#include <optional>

namespace floodmark {

// The session's locked state, read from the system at most once a second however many views
// ask.
class SessionLockCache {
public:
    static constexpr double refreshInterval = 1;

    // Calls `read` only when the last reading is a second old.
    bool locked(double now, const std::function<bool()>& read);

private:
    bool value_ = false;
    std::optional<double> readAt_;
};

}  // namespace floodmark
