#pragma once

#include <deque>

namespace floodmark {

// Decides when the idle watcher starts and stops the saver. Pure: events and the time come in,
// actions go out; the caller runs the process. A saver that ends by itself (input, crash) is not
// started again until the session has been active and idle again, and a saver that crashes too
// often is given up for the session.
class SaverLauncher {
public:
    // A resume within `ownSurfacesGrace` seconds of a start is taken for the saver's own surfaces
    // appearing, not for the user: the saver stays, and ends by itself on the user's input.
    explicit SaverLauncher(double ownSurfacesGrace = 0) : ownSurfacesGrace_(ownSurfacesGrace) {}

    static constexpr int crashLimit = 3;
    static constexpr double crashWindow = 600;
    // How long a saver has to end after SIGTERM before it is killed.
    static constexpr double stopGrace = 3;

    enum class Action { none, start, terminate, kill };

    Action idled(double now);
    Action resumed(double now);
    Action lockChanged(bool locked, double now);
    Action inhibitChanged(bool inhibited, double now);
    // The saver process ended; `crashed` when by a signal we did not send or a failing status.
    Action saverEnded(bool crashed, double now);
    // Called periodically: kills a saver that outlived its grace after SIGTERM.
    Action tick(double now);

    bool saverRunning() const { return running_; }
    bool inhibited() const { return inhibited_; }
    bool locked() const { return locked_; }
    bool gaveUp() const { return gaveUp_; }

private:
    Action settle(double now);

    double ownSurfacesGrace_;
    double startedAt_ = 0;
    // Resumed only as the saver's surfaces appeared: it runs on as if the session were idle.
    bool resumedBySaver_ = false;
    bool idle_ = false;
    bool locked_ = false;
    bool inhibited_ = false;
    bool running_ = false;
    bool stopping_ = false;
    bool killed_ = false;
    double stopAt_ = 0;
    bool waitingForActivity_ = false;
    bool gaveUp_ = false;
    std::deque<double> crashes_;
};

}  // namespace floodmark
