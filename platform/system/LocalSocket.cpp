#include "platform/system/LocalSocket.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace floodmark {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point deadlineAfter(double seconds) {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(
                              std::chrono::duration<double>(seconds > 0 ? seconds : 0));
}

int millisecondsUntil(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// A full backlog makes a non-blocking connect fail at once rather than wait; retry at this
// pace until the deadline.
constexpr auto busyRetryPause = std::chrono::milliseconds(2);

}  // namespace

LocalSocket::~LocalSocket() {
    close();
}

LocalSocket::LocalSocket(LocalSocket&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)) {}

LocalSocket& LocalSocket::operator=(LocalSocket&& other) noexcept {
    if (this != &other) {
        close();
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

void LocalSocket::close() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
}

std::optional<sockaddr_un> LocalSocket::address(const std::string& path) {
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return std::nullopt;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    return address;
}

LocalSocket::Reach LocalSocket::connect(const std::string& path, double timeoutSeconds) {
    close();
    auto target = address(path);
    if (!target) {
        return Reach::nothingListens;
    }
    auto deadline = deadlineAfter(timeoutSeconds);
    while (true) {
        int candidate = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (candidate < 0) {
            return Reach::noAnswer;
        }
        if (::connect(candidate, reinterpret_cast<const sockaddr*>(&*target), sizeof *target) ==
            0) {
            descriptor_ = candidate;
            return Reach::connected;
        }
        int error = errno;
        ::close(candidate);
        if (error == ENOENT || error == ECONNREFUSED || error == ENOTDIR) {
            return Reach::nothingListens;
        }
        if (error != EAGAIN && error != EINTR) {
            return Reach::noAnswer;
        }
        if (Clock::now() >= deadline) {
            return Reach::noAnswer;
        }
        std::this_thread::sleep_for(busyRetryPause);
    }
}

bool LocalSocket::sendAll(std::string_view bytes, double timeoutSeconds) {
    if (descriptor_ < 0) {
        return false;
    }
    auto deadline = deadlineAfter(timeoutSeconds);
    while (!bytes.empty()) {
        ssize_t written = send(descriptor_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        pollfd room{descriptor_, POLLOUT, 0};
        int wait = millisecondsUntil(deadline);
        if (wait == 0 || poll(&room, 1, wait) <= 0) {
            return false;
        }
    }
    return true;
}

bool LocalSocket::waitUntilRead(double timeoutSeconds) {
    if (descriptor_ < 0) {
        return false;
    }
    // There is nothing to wait on for "read by the peer": look again at a growing pace, from
    // a quarter of a millisecond (a listening saver reads at once) to 8 ms.
    auto deadline = deadlineAfter(timeoutSeconds);
    auto pause = std::chrono::microseconds(250);
    while (true) {
        int unread = 0;
        if (ioctl(descriptor_, SIOCOUTQ, &unread) != 0) {
            return false;
        }
        if (unread == 0) {
            return true;
        }
        auto now = Clock::now();
        if (now >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::microseconds(8000));
    }
}

}  // namespace floodmark
