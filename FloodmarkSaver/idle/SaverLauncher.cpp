#include "FloodmarkSaver/idle/SaverLauncher.h"

namespace floodmark {

SaverLauncher::Action SaverLauncher::idled(double now) {
    idle_ = true;
    resumedBySaver_ = false;
    return settle(now);
}

SaverLauncher::Action SaverLauncher::resumed(double now) {
    idle_ = false;
    waitingForActivity_ = false;
    if (running_ && !stopping_ && now - startedAt_ < ownSurfacesGrace_) {
        resumedBySaver_ = true;
        return Action::none;
    }
    resumedBySaver_ = false;
    return settle(now);
}

SaverLauncher::Action SaverLauncher::lockChanged(bool locked, double now) {
    locked_ = locked;
    return settle(now);
}

SaverLauncher::Action SaverLauncher::inhibitChanged(bool inhibited, double now) {
    inhibited_ = inhibited;
    return settle(now);
}

SaverLauncher::Action SaverLauncher::saverEnded(bool crashed, double now) {
    if (!running_) {
        return Action::none;
    }
    running_ = false;
    resumedBySaver_ = false;
    if (stopping_) {
        stopping_ = false;
        return settle(now);
    }
    // It ended without being asked: the user's input ended it, or it failed. Activity seen
    // since it started (its own surfaces', which the user's then passed unreported) counts.
    waitingForActivity_ = idle_;
    if (crashed) {
        crashes_.push_back(now);
        while (!crashes_.empty() && crashes_.front() <= now - crashWindow) {
            crashes_.pop_front();
        }
        if (static_cast<int>(crashes_.size()) >= crashLimit) {
            gaveUp_ = true;
        }
    }
    return Action::none;
}

SaverLauncher::Action SaverLauncher::tick(double now) {
    if (running_ && stopping_ && !killed_ && now >= stopAt_ + stopGrace) {
        killed_ = true;
        return Action::kill;
    }
    return Action::none;
}

SaverLauncher::Action SaverLauncher::settle(double now) {
    bool wanted =
        (idle_ || resumedBySaver_) && !locked_ && !inhibited_ && !waitingForActivity_ && !gaveUp_;
    if (wanted && !running_) {
        running_ = true;
        startedAt_ = now;
        return Action::start;
    }
    if (!wanted && running_ && !stopping_) {
        stopping_ = true;
        killed_ = false;
        stopAt_ = now;
        return Action::terminate;
    }
    return Action::none;
}

}  // namespace floodmark
