#include "FloodmarkSaver/view/SessionLockCache.h"

namespace floodmark {

bool SessionLockCache::locked(double now, const std::function<bool()>& read) {
    if (readAt_ && now - *readAt_ >= 0 && now - *readAt_ < refreshInterval) {
        return value_;
    }
    value_ = read();
    readAt_ = now;
    return value_;
}

}  // namespace floodmark
