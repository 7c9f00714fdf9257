#pragma once

#include <functional>
#include <memory>

namespace floodmark {

// The clock a view ticker keeps its beats by, and the main loop it waits in: the machine's
// steady clock, or a simulated one that jumps from wake to wake as fast as the machine can.
class TickClock {
public:
    virtual ~TickClock() = default;

    virtual double now() = 0;
    // Calls `wake` once when the clock reaches `time`; replaces the wake set before.
    virtual void wakeAt(double time, std::function<void()> wake) = 0;
    virtual void cancelWake() = 0;
    // Runs the main loop, and the wakes that fall due, until stop() or until `seconds` of this
    // clock have passed (infinity: until stop()).
    virtual void run(double seconds) = 0;
    virtual void stop() = 0;

    static std::unique_ptr<TickClock> steady();
    static std::unique_ptr<TickClock> simulated(double start);
};

}  // namespace floodmark
