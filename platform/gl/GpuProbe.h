#pragma once

#include <string>

namespace floodmark {

// Tells a hardware GPU from none before anything of GL is loaded: Mesa falls back to a software
// rasteriser when no DRM render node has a hardware driver, and loading it only to learn
// that costs tens of megabytes. `drmClasses` is the kernel's list of DRM devices.
struct GpuProbe {
    // Empty when a render node has a hardware driver; otherwise why there is no GPU, in a
    // few words.
    static std::string whyNoHardware(const std::string& drmClasses = "/sys/class/drm");
};

}  // namespace floodmark
