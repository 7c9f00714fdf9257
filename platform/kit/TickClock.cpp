#include "platform/kit/TickClock.h"

#include "platform/kit/MainLoop.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>

namespace floodmark {

namespace {

class SteadyClock final : public TickClock {
public:
    double now() override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void wakeAt(double time, std::function<void()> wake) override {
        timer_ = MainLoop::main().after(time - now(), std::move(wake));
    }
    void cancelWake() override { timer_.reset(); }
    void run(double seconds) override {
        if (std::isinf(seconds)) {
            MainLoop::main().run();
        } else {
            MainLoop::main().runFor(seconds);
        }
    }
    void stop() override { MainLoop::main().stop(); }

private:
    std::unique_ptr<MainLoop::Timer> timer_;
};

class SimulatedClock final : public TickClock {
public:
    explicit SimulatedClock(double start) : now_(start) {}

    double now() override { return now_; }
    void wakeAt(double time, std::function<void()> wake) override {
        wakeTime_ = time;
        wake_ = std::move(wake);
    }
    void cancelWake() override { wakeTime_.reset(); }
    void run(double seconds) override {
        stopped_ = false;
        const double end = now_ + seconds;
        while (!stopped_ && wakeTime_ && *wakeTime_ <= end) {
            now_ = std::max(now_, *wakeTime_);
            // Posted work (socket lines, timers) runs before the clock's next wake.
            MainLoop::main().runUntilIdle();
            if (stopped_ || !wakeTime_ || *wakeTime_ > now_) {
                continue;
            }
            wakeTime_.reset();
            auto wake = std::move(wake_);
            wake();
        }
    }
    void stop() override { stopped_ = true; }

private:
    double now_;
    std::optional<double> wakeTime_;
    std::function<void()> wake_;
    bool stopped_ = false;
};

}  // namespace

std::unique_ptr<TickClock> TickClock::steady() {
    return std::make_unique<SteadyClock>();
}

std::unique_ptr<TickClock> TickClock::simulated(double start) {
    return std::make_unique<SimulatedClock>(start);
}

}  // namespace floodmark
