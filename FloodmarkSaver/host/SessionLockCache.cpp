#include "FloodmarkSaver/host/SessionLockCache.h"

namespace floodmark {

bool SessionLockCache::locked(double now) {
    if (readAt_ && now - *readAt_ >= 0 && now - *readAt_ < refreshInterval) {
        return value_;
    }
    value_ = read_();
    readAt_ = now;
    return value_;
}

}  // namespace floodmark
