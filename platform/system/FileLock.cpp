#include "platform/system/FileLock.h"

#include "platform/system/Files.h"
#include "platform/system/FolderOwner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>

namespace floodmark {

namespace {

// A blocked flock is cut short by a signal to the waiting thread alone. This one is ours: the
// handler does nothing, and without SA_RESTART the wait returns EINTR.
int wakeSignal() {
    return SIGRTMIN + 3;
}

void ignoreWake(int) {}

bool wakeHandlerReady() {
    struct sigaction current {};
    if (sigaction(wakeSignal(), nullptr, &current) != 0)
        return false;
    if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == ignoreWake)
        return true;
    if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL) {
        return false;  // the program uses the signal itself: leave it alone
    }
    struct sigaction ours {};
    ours.sa_handler = ignoreWake;
    sigemptyset(&ours.sa_mask);
    return sigaction(wakeSignal(), &ours, nullptr) == 0;
}

timespec timespecOf(double seconds) {
    double whole = std::floor(seconds);
    return {static_cast<time_t>(whole), static_cast<long>((seconds - whole) * 1e9)};
}

// Interrupts the calling thread's blocking calls from `seconds` on, every 5 ms after that
// (so that a wake-up that came just before the call blocked is not the last).
class WakeTimer {
public:
    explicit WakeTimer(double seconds) {
        sigevent event{};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = wakeSignal();
        event._sigev_un._tid = gettid();
        if (timer_create(CLOCK_MONOTONIC, &event, &timer_) != 0)
            return;
        itimerspec when{timespecOf(0.005), timespecOf(seconds > 0 ? seconds : 1e-6)};
        armed_ = timer_settime(timer_, 0, &when, nullptr) == 0;
        sigset_t wake;
        sigemptyset(&wake);
        sigaddset(&wake, wakeSignal());
        pthread_sigmask(SIG_UNBLOCK, &wake, &savedMask_);
    }
    ~WakeTimer() {
        if (armed_)
            timer_delete(timer_);
        pthread_sigmask(SIG_SETMASK, &savedMask_, nullptr);
    }
    WakeTimer(const WakeTimer&) = delete;
    WakeTimer& operator=(const WakeTimer&) = delete;

    bool armed() const { return armed_; }

private:
    timer_t timer_{};
    bool armed_ = false;
    sigset_t savedMask_{};
};

}  // namespace

FileLock::FileLock(const std::string& path, double timeoutSeconds) {
    descriptor_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor_ < 0) {
        return;
    }
    // A lock file left to root would shut the folder's owner out of it for good.
    if (geteuid() == 0) {
        int folder = open(parentDirectory(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            giveToFolderOwner(descriptor_, folder);
            close(folder);
        }
    }
    held_ = flock(descriptor_, LOCK_EX | LOCK_NB) == 0;
    if (held_ || errno != EWOULDBLOCK || !(timeoutSeconds > 0) || !wakeHandlerReady()) {
        return;
    }
    // Sleep in the kernel until the holder lets go: no polling, and the lock goes to a waiter
    // as soon as it is free.
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(timeoutSeconds));
    WakeTimer timer(timeoutSeconds);
    if (!timer.armed()) {
        return;
    }
    while (!(held_ = flock(descriptor_, LOCK_EX) == 0)) {
        if (errno != EINTR || Clock::now() >= deadline) {
            return;
        }
    }
}

FileLock::~FileLock() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);  // releases the lock
    }
}

}  // namespace floodmark
