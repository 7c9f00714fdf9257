#pragma once

#include "platform/kit/ViewServices.h"
#include "platform/system/ReduceMotion.h"

#include <optional>

namespace floodmark {

// What the views ask of a Wayland session: logind's lock and the desktop's reduce-motion
// setting as on X11; the time since input is what the host itself has seen on our surfaces,
// since a client sees no other input on Wayland.
class WaylandServices final : public ViewServices {
public:
    WaylandServices();

    double now() override;
    // Infinite until the host has seen input: the user counts as away.
    double secondsSinceLastInput() override;
    bool reduceMotion() override;
    bool readScreenLocked() override;

    void inputSeen();

private:
    std::optional<double> lastInputAt_;
    ReduceMotionSetting reduceMotion_;
};

}  // namespace floodmark
