#pragma once

#include "platform/kit/MainLoop.h"

#include <atomic>
#include <cstddef>
#include <memory>

namespace floodmark {

// Work handed from the socket's thread to the main thread, at most `limit` items waiting at
// once: a busy main thread must not let a flood of lines pile up in memory. Past the limit
// work is dropped and counted, and the socket's thread never waits.
class BoundedHandOff {
public:
    explicit BoundedHandOff(std::size_t limit) : limit_(limit) {}

    // Any thread. False when `work` was dropped.
    template <typename Work>
    bool post(Work work) {
        if (counts_->waiting.fetch_add(1) >= limit_) {
            counts_->waiting.fetch_sub(1);
            counts_->dropped.fetch_add(1);
            return false;
        }
        MainLoop::main().post([counts = counts_, work = std::move(work)]() mutable {
            counts->waiting.fetch_sub(1);
            work();
        });
        return true;
    }

    // Work dropped since the last call.
    long long takeDropped() { return counts_->dropped.exchange(0); }

private:
    struct Counts {
        std::atomic<std::size_t> waiting{0};
        std::atomic<long long> dropped{0};
    };

    std::size_t limit_;
    // Shared with the posted work, which may outlive this object.
    std::shared_ptr<Counts> counts_ = std::make_shared<Counts>();
};

}  // namespace floodmark
