#pragma once

namespace floodmark {

// Whether a view's clock and message may show: always while the user is away; once the user
// comes back to a locked screen after being away, the chrome gives way until the next start.
struct ChromeGate {
    static constexpr double settleSeconds = 3;
    static constexpr double returnSeconds = 2;

    bool settled = false;  // idle for more than settleSeconds since the last reset
    bool yielded = false;  // the user returned to a locked screen; stays until reset

    // `idle`: seconds since the user's last input.
    bool step(double idle, bool locked);
    void reset() { *this = {}; }
};

}  // namespace floodmark
