#pragma once

#include "platform/draw/PixelRect.h"
#include "platform/kit/NativeWindow.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace floodmark {

// Whether the saver draws on the GPU: `automatic` takes a hardware device and counts a
// software rasteriser (llvmpipe, softpipe, swrast) as none; `forced` takes whatever EGL gives,
// software included (tests, benchmarks, --gpu); `off` draws everything with Cairo (--cpu).
enum class GpuPolicy { automatic, forced, off };

// An OpenGL ES 3.0 context on an EGL display: the X display the host draws on, so that it can
// draw straight into windows, or Mesa's surfaceless platform for offscreen pictures. Used on
// the main thread only.
class GpuDevice {
public:
    ~GpuDevice();
    GpuDevice(const GpuDevice&) = delete;
    GpuDevice& operator=(const GpuDevice&) = delete;

    // The process's device, made on first use; null when none can be made or the policy
    // refuses it.
    static std::shared_ptr<GpuDevice> systemDefault();
    static void setPolicy(GpuPolicy policy);
    // Why systemDefault() gives none, in a few words for the status file; empty when it gives
    // one.
    static std::string unavailableReason();
    // Before the device is first made: draw on this X display (an Xlib Display*), which must
    // outlive the process's drawing.
    static void useX11Display(void* display);
    // Before the device is first made: draw on this Wayland connection (a wl_display*), into
    // wl_egl_window surfaces; swaps never wait for the compositor, whose host paces them.
    static void useWaylandDisplay(void* display);

    // A surface over an X window of the device's display, for a config whose native visual is
    // the window's, or over a Wayland surface's wl_egl_window; null when there is none (the
    // window keeps its visual) or it cannot be made.
    void* makeWindowSurface(const NativeWindow& window);
    void releaseWindowSurface(void* surface);
    bool drawsToWindows() const { return onWindowSystem_; }
    // Makes the context current on this thread, drawing into `surface` (none: framebuffers).
    bool makeCurrent(void* surface = nullptr);
    // Shows what was drawn into `surface`, telling the window system that only `changed` of
    // it (whole pixels, row 0 at the top of a surface `height` rows high) differs from the
    // last picture, where EGL can say so; everything otherwise.
    bool swap(void* surface, std::optional<PixelRect> changed = std::nullopt, int height = 0);

    // GL_RENDERER, as the driver names itself.
    const std::string& renderer() const { return renderer_; }
    bool isSoftware() const;

private:
    GpuDevice() = default;
    // The device made on first use, whatever the policy; null when none could be made.
    static const std::shared_ptr<GpuDevice>& made();
    static std::shared_ptr<GpuDevice> make(std::string& failure);
    void* makeWaylandSurface(const std::vector<void*>& configs, wl_egl_window* window);

    void* display_ = nullptr;
    void* context_ = nullptr;
    bool onWindowSystem_ = false;
    void* swapWithDamage_ = nullptr;  // eglSwapBuffersWithDamageKHR or EXT, where offered
    std::string renderer_;
};

}  // namespace floodmark
