#include "platform/system/FileLock.h"

#include "platform/system/FolderOwner.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace floodmark {

FileLock::FileLock(const std::string& path) {
    descriptor_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor_ < 0) {
        return;
    }
    // A lock file left to root would shut the folder's owner out of it for good.
    giveToOwnerOfFolderAt(descriptor_, path);
    held_ = flock(descriptor_, LOCK_EX | LOCK_NB) == 0;
}

FileLock::~FileLock() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);  // releases the lock
    }
}

}  // namespace floodmark
