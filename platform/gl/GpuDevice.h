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

// An OpenGL ES 3.0 context on an EGL display: the X display or Wayland connection the host
// draws on, so that it can draw straight into windows, or Mesa's surfaceless platform for
// offscreen pictures. Made by a GpuDisplay; used on the main thread only.
class GpuDevice {
public:
    // The window system the device draws into; none draws into framebuffers only.
    enum class System { surfaceless, x11, wayland };

    ~GpuDevice();
    GpuDevice(const GpuDevice&) = delete;
    GpuDevice& operator=(const GpuDevice&) = delete;

    // Whether GpuDisplays give their devices; automatic until set.
    static void setPolicy(GpuPolicy policy);
    static GpuPolicy policy();

    // A surface over an X window of the device's display, for a config whose native visual is
    // the window's, or over a Wayland surface's wl_egl_window; null when there is none (the
    // window keeps its visual) or it cannot be made.
    void* makeWindowSurface(const NativeWindow& window);
    void releaseWindowSurface(void* surface);
    bool drawsToWindows() const { return system_ != System::surfaceless; }
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
    friend class GpuDisplay;
    explicit GpuDevice(System system) : system_(system) {}
    // A device on `display` of `system` (none for the surfaceless platform); null, with why
    // in `failure`, when none can be made.
    static std::shared_ptr<GpuDevice> make(System system, void* display, std::string& failure);
    void* makeWaylandSurface(const std::vector<void*>& configs, wl_egl_window* window);

    System system_;
    void* display_ = nullptr;
    void* context_ = nullptr;
    void* swapWithDamage_ = nullptr;  // eglSwapBuffersWithDamageKHR or EXT, where offered
    std::string renderer_;
};

}  // namespace floodmark
