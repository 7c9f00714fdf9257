#include "platform/gl/GpuDisplay.h"

#include "platform/gl/GpuProbe.h"

namespace floodmark {

namespace {

// Asked once: without a hardware GPU, the automatic policy loads nothing of GL at all.
const std::string& whyNoHardware() {
    static const std::string reason = GpuProbe::whyNoHardware();
    return reason;
}

}  // namespace

std::unique_ptr<GpuDisplay> GpuDisplay::onX11(void* display) {
    return std::unique_ptr<GpuDisplay>(new GpuDisplay(GpuDevice::System::x11, display));
}

std::unique_ptr<GpuDisplay> GpuDisplay::onWayland(void* display) {
    return std::unique_ptr<GpuDisplay>(new GpuDisplay(GpuDevice::System::wayland, display));
}

GpuDisplay& GpuDisplay::offscreen() {
    // Kept to the very end of the process: tearing EGL down during exit would unload the
    // driver while its own clean-up still runs.
    static auto* process = new GpuDisplay(GpuDevice::System::surfaceless, nullptr);
    return *process;
}

const std::shared_ptr<GpuDevice>& GpuDisplay::made() {
    if (!made_) {
        made_ = GpuDevice::make(system_, display_, failure_);
    }
    return *made_;
}

std::shared_ptr<GpuDevice> GpuDisplay::device() {
    return unavailableReason().empty() ? made() : nullptr;
}

std::string GpuDisplay::unavailableReason() {
    GpuPolicy policy = GpuDevice::policy();
    if (policy == GpuPolicy::off) {
        return "the GPU is switched off";
    }
    if (policy == GpuPolicy::automatic && !whyNoHardware().empty()) {
        return whyNoHardware();
    }
    const auto& device = made();
    if (!device) {
        return failure_;
    }
    if (device->isSoftware() && policy != GpuPolicy::forced) {
        return device->renderer() + " is a software rasteriser";
    }
    return {};
}

}  // namespace floodmark
