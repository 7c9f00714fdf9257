#pragma once

#include <memory>

namespace floodmark {

// An OpenGL ES 3.0 context on an EGL display: Mesa's surfaceless platform, which renders with
// llvmpipe where there is no GPU. Used on the main thread only.
class GpuDevice {
public:
    ~GpuDevice();
    GpuDevice(const GpuDevice&) = delete;
    GpuDevice& operator=(const GpuDevice&) = delete;

    // The process's device, made on first use; null when none can be made or the GPU is off.
    static std::shared_ptr<GpuDevice> systemDefault();
    // While disabled, systemDefault() gives none and the Cairo path draws everything.
    static void setEnabled(bool enabled);

    // Makes the device's context current on this thread; false when it cannot.
    bool makeCurrent();

private:
    GpuDevice() = default;
    static std::shared_ptr<GpuDevice> make();

    void* display_ = nullptr;
    void* context_ = nullptr;
};

}  // namespace floodmark
