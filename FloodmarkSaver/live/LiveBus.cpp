#include "FloodmarkSaver/live/LiveBus.h"

#include "FloodmarkSaver/live/LiveBusCore.h"
#include "platform/system/HomeDirectory.h"
#include "platform/system/LocalSocket.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <thread>

namespace floodmark {

namespace {

// A listener that is stopped or never accepts still owns its socket; asking must not wait on
// it for longer than this.
constexpr double probeTimeout = 0.05;

std::atomic<long long> queueThreads{0};

}  // namespace

struct LiveBus::Queue {
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> keepRunning =
        asio::make_work_guard(io);
    std::thread thread;
};

long long LiveBus::threadsStarted() {
    return queueThreads;
}

LiveBus::LiveBus(std::string path, OtherHandler onOther, SignalHandler onSignal)
    : path_(std::move(path)), queue_(std::make_unique<Queue>()) {
    ++queueThreads;
    core_ = std::make_shared<Core>(queue_->io, path_, std::move(onOther), std::move(onSignal));
    queue_->thread = std::thread([&io = queue_->io] {
        // A callback that throws must not end the queue.
        for (;;) {
            try {
                io.run();
                return;
            } catch (...) {
            }
        }
    });
}

LiveBus::~LiveBus() {
    stop();
    core_.reset();
    // With everything closed, the queue drains the last completions and its thread ends.
    queue_->keepRunning.reset();
    queue_->thread.join();
}

template <typename Work>
auto LiveBus::runOnQueue(Work work) {
    if (queue_->io.get_executor().running_in_this_thread()) {
        return work();
    }
    std::packaged_task<decltype(work())()> task(std::move(work));
    auto result = task.get_future();
    asio::post(queue_->io, [&task] { task(); });
    return result.get();
}

bool LiveBus::start() {
    return runOnQueue([core = core_] { return core->start(); });
}

void LiveBus::stop() {
    runOnQueue([core = core_] { core->stop(); });
}

std::size_t LiveBus::clientBoundFor(std::size_t descriptorLimit, std::size_t openDescriptors) {
    std::size_t taken = openDescriptors + descriptorReserve;
    std::size_t free = descriptorLimit > taken ? descriptorLimit - taken : 0;
    return std::clamp<std::size_t>(free, 1, maxClients);
}

long long LiveBus::takeEvictedClients() {
    return core_->evictedClients.exchange(0);
}

long long LiveBus::takeRefusedPeers() {
    return core_->refusedPeers.exchange(0);
}

long long LiveBus::takeOverlongLines() {
    return core_->overlongLines.exchange(0);
}

bool LiveBus::somethingListens(const std::string& path) {
    if (!Core::addressOf(path)) {
        return false;
    }
    LocalSocket probe;
    return probe.connect(path, probeTimeout) != LocalSocket::Reach::nothingListens;
}

std::string LiveBus::defaultSocketPath(std::string_view home) {
    // Inside a sandbox container the home directory is the container's own.
    if (home.find("/Library/Containers/") != std::string_view::npos) {
        return std::string(home) + "/l.sock";
    }
    return std::string(home) + "/.tolvera/live.sock";
}

const std::string& LiveBus::defaultPath() {
    static const std::string path = defaultSocketPath(homeDirectory());
    return path;
}

}  // namespace floodmark
