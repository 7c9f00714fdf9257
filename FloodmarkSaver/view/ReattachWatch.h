#pragma once

#include "platform/kit/MainLoop.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace floodmark {

// Polls once a second, on the main loop, whether a retired view has its window back. The
// timer goes with the watch.
class ReattachWatch {
public:
    static constexpr double pollInterval = 1;

    // Calls `check` every `seconds` until it returns false; replaces any running watch.
    void begin(double seconds, std::function<bool()> check);
    void cancel() { timer_.reset(); }
    bool isWatching() const { return timer_ != nullptr; }

private:
    std::unique_ptr<MainLoop::Timer> timer_;
    std::uint64_t generation_ = 0;  // which begin() the running timer belongs to
};

}  // namespace floodmark
