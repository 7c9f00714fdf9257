#include "platform/system/InstanceLock.h"

#include "platform/system/PrivateDirectory.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <string_view>

namespace floodmark {

namespace {

std::optional<pid_t> pidIn(int descriptor) {
    std::array<char, 24> text{};
    ssize_t size = pread(descriptor, text.data(), text.size() - 1, 0);
    pid_t pid = 0;
    if (size <= 0 ||
        std::from_chars(text.data(), text.data() + size, pid).ec != std::errc() || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

}  // namespace

InstanceLock::InstanceLock(const std::string& directory, const std::string& name) {
    PrivateDirectory folder(directory);
    if (!folder.isOpen()) {
        return;
    }
    descriptor_ =
        openat(folder.descriptor(), name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor_ < 0) {
        return;
    }
    if (flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
        state_ = errno == EWOULDBLOCK ? State::heldByAnother : State::unavailable;
        holder_ = pidIn(descriptor_);
        close(descriptor_);
        descriptor_ = -1;
        return;
    }
    state_ = State::held;
    std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(descriptor_, 0) == 0) {
        [[maybe_unused]] ssize_t written = pwrite(descriptor_, pid.data(), pid.size(), 0);
    }
}

InstanceLock::~InstanceLock() {
    if (descriptor_ >= 0) {
        close(descriptor_);
    }
}

}  // namespace floodmark
