#include "platform/system/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace floodmark {

FileLock::FileLock(const std::string& path, double timeoutSeconds) {
    descriptor_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor_ < 0) {
        return;
    }
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(timeoutSeconds));
    while (!(held_ = flock(descriptor_, LOCK_EX | LOCK_NB) == 0)) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || Clock::now() >= deadline) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

FileLock::~FileLock() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);  // releases the lock
    }
}

}  // namespace floodmark
