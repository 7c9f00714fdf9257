#pragma once

#include <functional>
#include <memory>

namespace floodmark {

// The main thread's run loop: everything but the socket bus runs here. Work may be posted from
// any thread; everything else is called on the main thread.
class MainLoop {
public:
    class Timer;

    MainLoop();
    ~MainLoop();
    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

    // The process's main loop.
    static MainLoop& main();

    // Runs `work` on the main thread, after the work posted before it.
    void post(std::function<void()> work);

    // Calls `tick` every `seconds` until the returned timer is destroyed or cancelled.
    std::unique_ptr<Timer> every(double seconds, std::function<void()> tick);

    // Calls `handler` on the main thread when the process gets SIGINT or SIGTERM.
    void onTerminationSignals(std::function<void()> handler);

    // Runs until stop().
    void run();
    // Runs what is ready now, and what that makes ready, then returns.
    void runUntilIdle();
    void runFor(double seconds);
    void stop();

private:
    struct State;
    std::unique_ptr<State> state_;
};

class MainLoop::Timer {
public:
    ~Timer();
    void cancel();

private:
    friend class MainLoop;
    struct Schedule;
    explicit Timer(std::shared_ptr<Schedule> schedule);
    std::shared_ptr<Schedule> schedule_;
};

}  // namespace floodmark
