#include "platform/system/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace floodmark {

FileLock::FileLock(const std::string& path) {
    descriptor_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    held_ = descriptor_ >= 0 && flock(descriptor_, LOCK_EX | LOCK_NB) == 0;
}

FileLock::~FileLock() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);  // releases the lock
    }
}

}  // namespace floodmark
