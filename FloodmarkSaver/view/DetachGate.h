#pragma once

namespace floodmark {

// Turns observations of whether a view has a window into retire and resume actions, so that a
// view the host took out of its window without stopping it gives up its lease.
struct DetachGate {
    enum class Action { none, retire, resume };

    bool everAttached = false;
    bool retired = false;

    Action observe(bool attached);
    // The host started or stopped the view itself: its decision wins.
    void hostTookOver() { retired = false; }
};

}  // namespace floodmark
