#include "platform/kit/MainLoop.h"

#include <asio.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>

namespace floodmark {

namespace {

std::chrono::steady_clock::duration steadyDuration(double seconds) {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds));
}

}  // namespace

struct MainLoop::State {
    asio::io_context io;
    std::unique_ptr<asio::signal_set> signals;
};

struct MainLoop::Timer::Schedule : std::enable_shared_from_this<Schedule> {
    Schedule(asio::io_context& io, std::chrono::steady_clock::duration interval, bool repeats,
             std::function<void()> tick)
        : timer(io), interval(interval), repeats(repeats), tick(std::move(tick)) {}

    void arm(std::chrono::steady_clock::time_point at) {
        timer.expires_at(at);
        timer.async_wait([weak = weak_from_this()](asio::error_code error) {
            auto self = weak.lock();
            if (error || !self || self->cancelled) {
                return;
            }
            if (self->repeats) {
                // Keep the beat: the next tick is due one interval after this one was, or one
                // interval from now when this one came later than that.
                auto now = std::chrono::steady_clock::now();
                self->arm(std::max(self->timer.expiry() + self->interval, now + self->interval));
            }
            self->tick();
        });
    }

    asio::steady_timer timer;
    std::chrono::steady_clock::duration interval;
    bool repeats;
    std::function<void()> tick;
    bool cancelled = false;
};

struct MainLoop::Watch::Reader : std::enable_shared_from_this<Reader> {
    Reader(asio::io_context& io, int descriptor, std::function<void()> onReadable)
        : stream(io, descriptor), onReadable(std::move(onReadable)) {}

    ~Reader() {
        // The descriptor belongs to the caller: let go of it without closing it.
        stream.release();
    }

    void arm() {
        stream.async_wait(asio::posix::stream_descriptor::wait_read,
                          [weak = weak_from_this()](asio::error_code error) {
                              auto self = weak.lock();
                              if (error || !self) {
                                  return;
                              }
                              self->arm();
                              self->onReadable();
                          });
    }

    asio::posix::stream_descriptor stream;
    std::function<void()> onReadable;
};

MainLoop::MainLoop() : state_(std::make_unique<State>()) {}

MainLoop::~MainLoop() = default;

MainLoop& MainLoop::main() {
    static MainLoop loop;
    return loop;
}

void MainLoop::post(std::function<void()> work) {
    asio::post(state_->io, std::move(work));
}

std::unique_ptr<MainLoop::Timer> MainLoop::every(double seconds, std::function<void()> tick) {
    auto interval = steadyDuration(seconds);
    auto schedule = std::make_shared<Timer::Schedule>(state_->io, interval, true, std::move(tick));
    schedule->arm(std::chrono::steady_clock::now() + interval);
    return std::unique_ptr<Timer>(new Timer(std::move(schedule)));
}

std::unique_ptr<MainLoop::Timer> MainLoop::after(double seconds, std::function<void()> work) {
    auto delay = steadyDuration(std::max(seconds, 0.0));
    auto schedule = std::make_shared<Timer::Schedule>(state_->io, delay, false, std::move(work));
    schedule->arm(std::chrono::steady_clock::now() + delay);
    return std::unique_ptr<Timer>(new Timer(std::move(schedule)));
}

std::unique_ptr<MainLoop::Watch> MainLoop::watchReadable(int descriptor,
                                                         std::function<void()> onReadable) {
    auto reader = std::make_shared<Watch::Reader>(state_->io, descriptor, std::move(onReadable));
    reader->arm();
    return std::unique_ptr<Watch>(new Watch(std::move(reader)));
}

void MainLoop::onTerminationSignals(std::function<void()> handler) {
    state_->signals = std::make_unique<asio::signal_set>(state_->io, SIGINT, SIGTERM, SIGHUP);
    state_->signals->async_wait([handler = std::move(handler)](asio::error_code error, int) {
        if (!error) {
            handler();
        }
    });
}

void MainLoop::run() {
    auto keepRunning = asio::make_work_guard(state_->io);
    state_->io.restart();
    state_->io.run();
}

void MainLoop::runUntilIdle() {
    state_->io.restart();
    state_->io.poll();
}

void MainLoop::runFor(double seconds) {
    auto keepRunning = asio::make_work_guard(state_->io);
    state_->io.restart();
    state_->io.run_for(steadyDuration(seconds));
}

void MainLoop::stop() {
    state_->io.stop();
}

MainLoop::Timer::Timer(std::shared_ptr<Schedule> schedule) : schedule_(std::move(schedule)) {}

MainLoop::Timer::~Timer() {
    cancel();
}

void MainLoop::Timer::cancel() {
    if (schedule_ && !schedule_->cancelled) {
        schedule_->cancelled = true;
        schedule_->timer.cancel();
    }
}

MainLoop::Watch::Watch(std::shared_ptr<Reader> reader) : reader_(std::move(reader)) {}

MainLoop::Watch::~Watch() {
    asio::error_code ignored;
    reader_->stream.cancel(ignored);
}

}  // namespace floodmark
