#pragma once

#include "platform/gl/GpuDisplay.h"
#include "platform/kit/ViewServices.h"
#include "platform/system/ReduceMotion.h"

#include <optional>

namespace floodmark {

// What the views ask of a Wayland session: logind's lock and the desktop's reduce-motion
// setting as on X11; the time since input is what the host itself has seen on our surfaces,
// since a client sees no other input on Wayland.
class WaylandServices final : public ViewServices {
public:
    // The GPU draws on `display`, a wl_display* that outlives the services.
    explicit WaylandServices(void* display);

    double now() override;
    // Infinite until the host has seen input: the user counts as away.
    double secondsSinceLastInput() override;
    bool reduceMotion() override;
    bool readScreenLocked() override;
    GpuDisplay& gpu() override { return *gpu_; }

    void inputSeen();

private:
    std::optional<double> lastInputAt_;
    ReduceMotionSetting reduceMotion_;
    std::unique_ptr<GpuDisplay> gpu_;
};

}  // namespace floodmark
