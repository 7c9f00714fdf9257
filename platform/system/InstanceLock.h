#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace floodmark {

// One process of a kind: an advisory lock (flock), taken without waiting, on a side file in a
// private directory, naming its holder's pid. It goes with the holder, however the holder ends.
class InstanceLock {
public:
    enum class State { held, heldByAnother, unavailable };

    InstanceLock(const std::string& directory, const std::string& name);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return state_; }
    // The pid the side file names, when another process holds the lock.
    std::optional<pid_t> holder() const { return holder_; }

private:
    int descriptor_ = -1;
    State state_ = State::unavailable;
    std::optional<pid_t> holder_;
};

}  // namespace floodmark
