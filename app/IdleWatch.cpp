#include "app/IdleWatch.h"

#include "FloodmarkSaver/idle/SaverLauncher.h"
#include "FloodmarkSaver/idle/WatcherStatus.h"
#include "platform/kit/Time.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/CappedRelay.h"
#include "platform/system/ChildProcess.h"
#include "platform/system/InstanceLock.h"
#include "platform/system/LockerProgram.h"
#include "platform/system/PrivateDirectory.h"
#include "platform/system/SessionLock.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <iostream>
#include <thread>

namespace floodmark::app {

namespace {

constexpr auto pollInterval = std::chrono::milliseconds(100);
// Lock and inhibitors are asked for, not told: once a second.
constexpr double lockReadInterval = 1;
constexpr double statusHeartbeat = 2;
// What of the saver's standard error reaches ours (the journal): a saver that writes without
// end once wrote 3 GB in 6 s.
constexpr std::size_t saverMessageBudget = 64 << 10;
constexpr double saverMessageWindow = 60;

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

double monotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class Watch {
public:
    Watch(IdleSource& source, const IdleWatchSettings& settings)
        : source_(source), settings_(settings), launcher_(source.ownSurfacesGrace()) {}

    void step(double now) {
        // Lock and inhibitors first: a session already idle at the first step must not see a
        // saver start and stop at once over its locker or its video.
        if (now - lockReadAt_ >= lockReadInterval) {
            lockReadAt_ = now;
            bool locked = readSessionLocked() || lockerProgramRunning();
            if (locked != launcher_.locked()) {
                act(launcher_.lockChanged(locked, now), now);
            }
            bool inhibited = source_.readInhibited().value_or(false);
            if (inhibited != launcher_.inhibited()) {
                act(launcher_.inhibitChanged(inhibited, now), now);
            }
        }
        for (IdleChange change : source_.poll()) {
            act(change == IdleChange::idled ? launcher_.idled(now) : launcher_.resumed(now), now);
        }
        saverMessages_.drain(now);
        if (auto end = saver_.reap()) {
            act(launcher_.saverEnded(end->failed, now), now);
        }
        act(launcher_.tick(now), now);
        if (launcher_.gaveUp() && !saidGaveUp_) {
            saidGaveUp_ = true;
            std::cerr << "floodmark idle: the saver crashed " << SaverLauncher::crashLimit
                      << " times in 10 minutes; not starting it again in this session\n";
        }
        writeStatus();
    }

    // At the end: the saver stopped as on activity (SIGTERM, then SIGKILL after the grace) and
    // the status file taken away.
    void finish() {
        saver_.signal(SIGTERM);
        double killAt = monotonicSeconds() + SaverLauncher::stopGrace;
        bool killed = false;
        while (saver_.running() && !saver_.reap()) {
            if (!killed && monotonicSeconds() >= killAt) {
                saver_.signal(SIGKILL);
                killed = true;
            }
            saverMessages_.drain(monotonicSeconds());
            std::this_thread::sleep_for(pollInterval);
        }
        unlink((settings_.statusDirectory + "/" + WatcherStatus::fileName).c_str());
    }

private:
    void act(SaverLauncher::Action action, double now) {
        switch (action) {
            case SaverLauncher::Action::none:
                break;
            case SaverLauncher::Action::start:
                if (!saver_.start(settings_.saverProgram, settings_.saverArguments,
                                  saverMessages_.childEnd())) {
                    std::cerr << "floodmark idle: cannot start " << settings_.saverProgram << "\n";
                    act(launcher_.saverEnded(true, now), now);
                }
                break;
            case SaverLauncher::Action::terminate:
                saver_.signal(SIGTERM);
                break;
            case SaverLauncher::Action::kill:
                saver_.signal(SIGKILL);
                break;
        }
    }

    void writeStatus() {
        WatcherStatus status{getpid(),
                             std::string(source_.name()),
                             settings_.timeoutSeconds,
                             launcher_.inhibited(),
                             launcher_.locked(),
                             launcher_.saverRunning(),
                             launcher_.gaveUp(),
                             0};
        double wallClock = currentTime();
        if (status == written_ && wallClock - writtenAt_ < statusHeartbeat) {
            return;
        }
        written_ = status;
        writtenAt_ = wallClock;
        status.updatedAt = wallClock;
        PrivateDirectory folder(settings_.statusDirectory);
        if (folder.isOpen()) {
            writeFileAtomicallyAt(folder.descriptor(), WatcherStatus::fileName, status.toJsonText(),
                                  false);
        }
    }

    IdleSource& source_;
    const IdleWatchSettings& settings_;
    SaverLauncher launcher_;
    ChildProcess saver_;
    CappedRelay saverMessages_{saverMessageBudget, saverMessageWindow};
    double lockReadAt_ = -lockReadInterval;
    bool saidGaveUp_ = false;
    WatcherStatus written_;
    double writtenAt_ = 0;
};

}  // namespace

int runIdleWatch(IdleSource& source, const IdleWatchSettings& settings) {
    // A second watcher (one enabled as a service, one started by hand) would start a second
    // saver and take the first one's status file away when it ends.
    InstanceLock only(settings.statusDirectory, "idle-watcher.lock");
    if (only.state() == InstanceLock::State::heldByAnother) {
        std::cerr << "floodmark idle: ";
        if (auto pid = only.holder()) {
            std::cerr << "watcher " << *pid << " already watches this session";
        } else {
            std::cerr << "another watcher already watches this session";
        }
        std::cerr << "; this one ends\n";
        return 0;
    }
    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(number, &action, nullptr);
    }
    Watch watch(source, settings);
    while (!stopRequested && !source.lost()) {
        watch.step(monotonicSeconds());
        std::this_thread::sleep_for(pollInterval);
    }
    watch.finish();
    return 0;
}

}  // namespace floodmark::app
