#pragma once

#include <functional>
#include <memory>

namespace floodmark {

// The main thread's run loop: everything but the socket bus runs here. Work may be posted from
// any thread; everything else is called on the main thread.
class MainLoop {
public:
    class Timer;
    class Watch;

    MainLoop();
    ~MainLoop();
    MainLoop(const MainLoop&) = delete;
    MainLoop& operator=(const MainLoop&) = delete;

    // The process's main loop.
    static MainLoop& main();

    // Runs `work` on the main thread, after the work posted before it.
    void post(std::function<void()> work);

    // Calls `tick` every `seconds` until the returned timer is destroyed or cancelled. A tick
    // that comes late (the process was stopped, the thread busy) is made once, not once for
    // every interval missed, and the beat goes on from then.
    std::unique_ptr<Timer> every(double seconds, std::function<void()> tick);
    // Calls `work` once, `seconds` from now, unless the returned timer goes first.
    std::unique_ptr<Timer> after(double seconds, std::function<void()> work);

    // Calls `onReadable` each time the descriptor has something to read, until the returned
    // watch is destroyed. The descriptor stays the caller's.
    std::unique_ptr<Watch> watchReadable(int descriptor, std::function<void()> onReadable);

    // Calls `handler` on the main thread when the process gets SIGINT, SIGTERM or SIGHUP.
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

class MainLoop::Watch {
public:
    ~Watch();

private:
    friend class MainLoop;
    struct Reader;
    explicit Watch(std::shared_ptr<Reader> reader);
    std::shared_ptr<Reader> reader_;
};

}  // namespace floodmark
