#pragma once

#include "platform/gl/GpuDisplay.h"
#include "platform/kit/ViewServices.h"
#include "platform/system/ReduceMotion.h"
#include "platform/x11/XConnection.h"
#include "platform/x11/XIdleTime.h"

#include <functional>
#include <optional>

namespace floodmark {

// What the views ask of an X desktop: the server's idle time, logind's lock, the desktop's
// reduce-motion setting; and, for the host, whether the monitors are powered.
class X11Services final : public ViewServices {
public:
    static constexpr double powerPollInterval = 1;
    // The largest backing scale a resource may ask for.
    static constexpr double maxScale = 8;

    // Whether the monitors are powered, asked of a display.
    using PowerQuestion = std::function<bool(Display*)>;

    X11Services(XConnection& connection, PowerQuestion monitorsPowered);

    double now() override;
    // No screen-saver extension: no input seen, so the user counts as away.
    double secondsSinceLastInput() override;
    bool reduceMotion() override;
    bool readScreenLocked() override;
    // On this same connection.
    GpuDisplay& gpu() override { return *gpu_; }

    // The power question's answer, asked at most once per powerPollInterval.
    bool monitorsPowered();

    // Xft.dpi / 96 in quarter steps, 1…maxScale; absent when the resource is not set.
    static std::optional<double> scaleFromResources(Display* display);

private:
    XConnection& connection_;
    XIdleTime idleTime_;
    PowerQuestion askPower_;
    bool powered_ = true;
    std::optional<double> powerReadAt_;
    ReduceMotionSetting reduceMotion_;
    std::unique_ptr<GpuDisplay> gpu_;
};

}  // namespace floodmark
