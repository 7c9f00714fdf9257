#include "platform/kit/MainLoop.h"

#include <asio.hpp>

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
    Schedule(asio::io_context& io, std::chrono::steady_clock::duration interval,
             std::function<void()> tick)
        : timer(io), interval(interval), tick(std::move(tick)) {}

    void arm(std::chrono::steady_clock::time_point at) {
        timer.expires_at(at);
        timer.async_wait([weak = weak_from_this()](asio::error_code error) {
            auto self = weak.lock();
            if (error || !self || self->cancelled) {
                return;
            }
            // Keep the beat: the next tick is due one interval after this one was.
            self->arm(self->timer.expiry() + self->interval);
            self->tick();
        });
    }

    asio::steady_timer timer;
    std::chrono::steady_clock::duration interval;
    std::function<void()> tick;
    bool cancelled = false;
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
    auto schedule = std::make_shared<Timer::Schedule>(state_->io, interval, std::move(tick));
    schedule->arm(std::chrono::steady_clock::now() + interval);
    return std::unique_ptr<Timer>(new Timer(std::move(schedule)));
}

void MainLoop::onTerminationSignals(std::function<void()> handler) {
    state_->signals = std::make_unique<asio::signal_set>(state_->io, SIGINT, SIGTERM);
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

}  // namespace floodmark
