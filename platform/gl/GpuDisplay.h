#pragma once

#include "platform/gl/GpuDevice.h"

#include <memory>
#include <optional>
#include <string>

namespace floodmark {

// The GPU of one display: the device its views draw with, made on first ask under the
// process's policy and released with the display. A host makes one on its own connection and
// hands it to its views with their services, so that they draw straight into its windows;
// views of no host draw offscreen, with the process's.
class GpuDisplay {
public:
    // On an X display (an Xlib Display*) or a Wayland connection (a wl_display*), which must
    // outlive it; on Wayland, swaps never wait for the compositor, whose host paces them.
    static std::unique_ptr<GpuDisplay> onX11(void* display);
    static std::unique_ptr<GpuDisplay> onWayland(void* display);
    // The process's, on Mesa's surfaceless platform, for offscreen pictures.
    static GpuDisplay& offscreen();

    GpuDisplay(const GpuDisplay&) = delete;
    GpuDisplay& operator=(const GpuDisplay&) = delete;

    // Null when none can be made or the policy refuses it.
    std::shared_ptr<GpuDevice> device();
    // Why device() gives none, in a few words for the status file; empty when it gives one.
    std::string unavailableReason();

private:
    GpuDisplay(GpuDevice::System system, void* display) : system_(system), display_(display) {}
    const std::shared_ptr<GpuDevice>& made();

    GpuDevice::System system_;
    void* display_;
    std::optional<std::shared_ptr<GpuDevice>> made_;
    std::string failure_;  // why the device could not be made
};

}  // namespace floodmark
