#pragma once

#include "platform/draw/Geometry.h"
#include "platform/draw/PixelRect.h"
#include "platform/wayland/ShmBuffers.h"
#include "platform/wayland/WaylandConnection.h"

#include <functional>
#include <optional>
#include <vector>

struct wl_callback;
struct wl_egl_window;
struct wl_surface;
struct wp_fractional_scale_v1;
struct wp_viewport;
struct xdg_surface;
struct xdg_toplevel;
struct zwlr_layer_surface_v1;

namespace floodmark {

// One surface of the saver's: an overlay layer over one output, a full-screen window on one
// output, or one ordinary window. It learns its size and scale from the compositor and puts
// pictures on the screen one at a time: the next only after the compositor has asked for it
// with a frame callback.
class OutputSurface {
public:
    enum class Role { overlay, fullScreen, window };

    // `output` is the output to cover; null for an ordinary window, sized `windowPoints`.
    OutputSurface(WaylandConnection& connection, Role role, WaylandOutput* output,
                  Size windowPoints);
    ~OutputSurface();
    OutputSurface(const OutputSurface&) = delete;
    OutputSurface& operator=(const OutputSurface&) = delete;

    Role role() const { return role_; }
    WaylandOutput* output() const { return output_; }
    wl_surface* surface() const { return surface_; }
    bool configured() const { return configured_; }
    Size points() const { return points_; }
    double scale() const { return scale_; }

    // True when a picture went to the compositor: it was configured, the last picture's frame
    // callback had come back, the picture is of the surface's size and scale, and `paint`
    // changed `damage` of a released buffer (see ShmBuffers::draw); the compositor is told
    // only that.
    bool present(Size points, double scale, const ShmBuffers::Painter& paint, PixelRect& damage,
                 double now);
    // How long the last picture's frame callback has been awaited; 0 when none is.
    double frameWait(double now) const;
    bool framePending() const { return frameCallback_ != nullptr; }

    // The surface as a wl_egl_window of its device pixels, for the GPU to swap into.
    wl_egl_window* gpuWindow();
    // Before a tick that may swap: the size and scale that the swap's commit is to carry.
    void prepareGpuFrame();
    // After a swap: asks for the next frame, as present() does for its own pictures.
    void gpuPresented(double now);

    // Ordinary windows only: full screen on and off.
    void toggleFullScreen();
    // The output's scale or size changed: the surface follows it.
    void outputChanged();

    // Called on a size or scale that differs from the last (the first configure included).
    std::function<void()> onResized;
    // The compositor is ready for the next picture.
    std::function<void()> onFrameDone;
    // The compositor closed the surface (its output went, or the window was closed).
    std::function<void()> onClosed;

    // Called by the listeners.
    void configureLayer(std::uint32_t serial, std::uint32_t width, std::uint32_t height);
    void configureToplevel(int width, int height);
    void configureSurface(std::uint32_t serial);
    void frameDone();
    void enter(wl_output* output);
    void leave(wl_output* output);
    void preferScale(std::uint32_t scale120);
    void close();

private:
    void applySize(Size points);
    void updateScale();
    Size outputPoints() const;
    void requestFrame(double now);
    void setBufferGeometry();

    WaylandConnection& connection_;
    Role role_;
    WaylandOutput* output_;
    Size windowPoints_;
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layerSurface_ = nullptr;
    xdg_surface* xdgSurface_ = nullptr;
    xdg_toplevel* toplevel_ = nullptr;
    wp_viewport* viewport_ = nullptr;
    wp_fractional_scale_v1* fractionalScale_ = nullptr;
    wl_callback* frameCallback_ = nullptr;
    wl_egl_window* gpuWindow_ = nullptr;
    double frameRequestedAt_ = 0;
    std::optional<Size> pendingPoints_;
    std::vector<wl_output*> entered_;
    std::optional<double> preferredScale_;
    bool configured_ = false;
    bool fullScreen_ = false;
    Size points_{0, 0};
    double scale_ = 1;
    int bufferScale_ = 1;
    // What the last picture presented was drawn for; another size or scale, or a GPU swap
    // in between, makes the next picture new everywhere.
    Size presentedPoints_{0, 0};
    double presentedScale_ = 0;
    ShmBuffers buffers_;
};

}  // namespace floodmark
