#include "platform/wayland/OutputSurface.h"

#include "platform/draw/CairoCanvas.h"

#include "fractional-scale-v1-client-protocol.h"
#include "platform/wayland/LayerShellProtocol.h"
#include "viewporter-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <wayland-client.h>
#include <wayland-egl.h>

#include <algorithm>
#include <cmath>

namespace floodmark {

namespace {

OutputSurface& of(void* data) {
    return *static_cast<OutputSurface*>(data);
}

const wl_surface_listener surfaceListener{
    .enter = [](void* data, wl_surface*, wl_output* output) { of(data).enter(output); },
    .leave = [](void* data, wl_surface*, wl_output* output) { of(data).leave(output); },
};

const zwlr_layer_surface_v1_listener layerListener{
    .configure = [](void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t width,
                    uint32_t height) { of(data).configureLayer(serial, width, height); },
    .closed = [](void* data, zwlr_layer_surface_v1*) { of(data).close(); },
};

const xdg_surface_listener xdgSurfaceListener{
    .configure = [](void* data, xdg_surface*,
                    uint32_t serial) { of(data).configureSurface(serial); },
};

const xdg_toplevel_listener toplevelListener{
    .configure = [](void* data, xdg_toplevel*, int32_t width, int32_t height,
                    wl_array*) { of(data).configureToplevel(width, height); },
    .close = [](void* data, xdg_toplevel*) { of(data).close(); },
};

const wl_callback_listener frameListener{
    .done = [](void* data, wl_callback*, uint32_t) { of(data).frameDone(); },
};

const wp_fractional_scale_v1_listener fractionalScaleListener{
    .preferred_scale = [](void* data, wp_fractional_scale_v1*,
                          uint32_t scale120) { of(data).preferScale(scale120); },
};

constexpr double maxScale = 8;
constexpr double maxPoints = 16384;

}  // namespace

OutputSurface::OutputSurface(WaylandConnection& connection, Role role, WaylandOutput* output,
                             Size windowPoints)
    : connection_(connection),
      role_(role),
      output_(output),
      windowPoints_(windowPoints),
      buffers_(connection.shm()) {
    surface_ = wl_compositor_create_surface(connection.compositor());
    wl_surface_add_listener(surface_, &surfaceListener, this);
    if (connection.viewporter() != nullptr && connection.fractionalScale() != nullptr) {
        viewport_ = wp_viewporter_get_viewport(connection.viewporter(), surface_);
        fractionalScale_ = wp_fractional_scale_manager_v1_get_fractional_scale(
            connection.fractionalScale(), surface_);
        wp_fractional_scale_v1_add_listener(fractionalScale_, &fractionalScaleListener, this);
    }
    updateScale();
    if (role == Role::overlay) {
        layerSurface_ = zwlr_layer_shell_v1_get_layer_surface(
            connection.layerShell(), surface_, output != nullptr ? output->output : nullptr,
            ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "floodmark");
        zwlr_layer_surface_v1_add_listener(layerSurface_, &layerListener, this);
        zwlr_layer_surface_v1_set_anchor(layerSurface_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                            ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                            ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                            ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        // Over panels too, and every key comes here.
        zwlr_layer_surface_v1_set_exclusive_zone(layerSurface_, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(
            layerSurface_, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
        zwlr_layer_surface_v1_set_size(layerSurface_, 0, 0);
    } else {
        xdgSurface_ = xdg_wm_base_get_xdg_surface(connection.windowManager(), surface_);
        xdg_surface_add_listener(xdgSurface_, &xdgSurfaceListener, this);
        toplevel_ = xdg_surface_get_toplevel(xdgSurface_);
        xdg_toplevel_add_listener(toplevel_, &toplevelListener, this);
        xdg_toplevel_set_title(toplevel_, "Floodmark");
        xdg_toplevel_set_app_id(toplevel_, "floodmark");
        if (role == Role::fullScreen) {
            xdg_toplevel_set_fullscreen(toplevel_, output != nullptr ? output->output : nullptr);
            fullScreen_ = true;
        }
    }
    // The first commit carries no buffer: it asks for the first configure.
    wl_surface_commit(surface_);
}

OutputSurface::~OutputSurface() {
    if (gpuWindow_ != nullptr) {
        wl_egl_window_destroy(gpuWindow_);
    }
    if (frameCallback_ != nullptr) {
        wl_callback_destroy(frameCallback_);
    }
    if (fractionalScale_ != nullptr) {
        wp_fractional_scale_v1_destroy(fractionalScale_);
    }
    if (viewport_ != nullptr) {
        wp_viewport_destroy(viewport_);
    }
    if (layerSurface_ != nullptr) {
        zwlr_layer_surface_v1_destroy(layerSurface_);
    }
    if (toplevel_ != nullptr) {
        xdg_toplevel_destroy(toplevel_);
    }
    if (xdgSurface_ != nullptr) {
        xdg_surface_destroy(xdgSurface_);
    }
    wl_surface_destroy(surface_);
}

Size OutputSurface::outputPoints() const {
    if (output_ == nullptr || output_->pixelWidth <= 0 || output_->pixelHeight <= 0) {
        return windowPoints_;
    }
    return {std::ceil(output_->pixelWidth / scale_), std::ceil(output_->pixelHeight / scale_)};
}

void OutputSurface::configureLayer(std::uint32_t serial, std::uint32_t width,
                                   std::uint32_t height) {
    zwlr_layer_surface_v1_ack_configure(layerSurface_, serial);
    Size points = width > 0 && height > 0
                      ? Size{static_cast<double>(width), static_cast<double>(height)}
                      : outputPoints();
    applySize(points);
}

void OutputSurface::configureToplevel(int width, int height) {
    // 0 leaves the size to us: the output's when full screen, else the window's own.
    if (width > 0 && height > 0) {
        pendingPoints_ = Size{static_cast<double>(width), static_cast<double>(height)};
    } else {
        pendingPoints_ = fullScreen_ ? outputPoints() : windowPoints_;
    }
}

void OutputSurface::configureSurface(std::uint32_t serial) {
    xdg_surface_ack_configure(xdgSurface_, serial);
    applySize(pendingPoints_.value_or(points_.width > 0 ? points_ : windowPoints_));
    pendingPoints_.reset();
}

void OutputSurface::applySize(Size points) {
    points.width = std::clamp(std::round(points.width), 1.0, maxPoints);
    points.height = std::clamp(std::round(points.height), 1.0, maxPoints);
    bool changed = !configured_ || points != points_;
    configured_ = true;
    points_ = points;
    if (changed && onResized) {
        onResized();
    }
}

void OutputSurface::updateScale() {
    double scale = 1;
    if (preferredScale_) {
        scale = *preferredScale_;
    } else if (output_ != nullptr) {
        scale = output_->scale;
    } else {
        for (wl_output* entered : entered_) {
            if (WaylandOutput* known = connection_.outputOf(entered)) {
                scale = std::max(scale, static_cast<double>(known->scale));
            }
        }
    }
    bufferScale_ = viewport_ != nullptr ? 1 : static_cast<int>(scale);
    if (scale != scale_) {
        scale_ = scale;
        if (configured_ && onResized) {
            onResized();
        }
    }
}

void OutputSurface::outputChanged() {
    updateScale();
}

void OutputSurface::enter(wl_output* output) {
    if (std::find(entered_.begin(), entered_.end(), output) == entered_.end()) {
        entered_.push_back(output);
    }
    updateScale();
}

void OutputSurface::leave(wl_output* output) {
    std::erase(entered_, output);
    updateScale();
}

void OutputSurface::preferScale(std::uint32_t scale120) {
    preferredScale_ = std::clamp(scale120 / 120.0, 1.0 / 120, maxScale);
    updateScale();
}

void OutputSurface::close() {
    if (onClosed) {
        onClosed();
    }
}

bool OutputSurface::present(Size points, double scale, const ShmBuffers::Painter& paint,
                            PixelRect& damage, double now) {
    if (!configured_ || frameCallback_ != nullptr) {
        return false;
    }
    // A picture of a size or scale the surface no longer has waits for the next one: a buffer
    // that its scale does not divide is a protocol error, which ends the connection.
    const PixelSize pixels = points.pixelsAt(scale);
    if (pixels != points_.pixelsAt(scale_) ||
        (viewport_ == nullptr &&
         (pixels.width % bufferScale_ != 0 || pixels.height % bufferScale_ != 0))) {
        return false;
    }
    wl_buffer* buffer = buffers_.draw(points, scale, paint, damage);
    if (buffer == nullptr) {
        return false;
    }
    PixelRect told = damage;
    if (points_ != presentedPoints_ || scale_ != presentedScale_) {
        told = {0, 0, pixels.width, pixels.height};
    }
    presentedPoints_ = points_;
    presentedScale_ = scale_;
    wl_surface_attach(surface_, buffer, 0, 0);
    setBufferGeometry();
    wl_surface_damage_buffer(surface_, told.x, told.y, told.width, told.height);
    requestFrame(now);
    wl_surface_commit(surface_);
    return true;
}

void OutputSurface::setBufferGeometry() {
    if (viewport_ != nullptr) {
        // A buffer of device pixels shown at the surface's size: crisp at any scale.
        wp_viewport_set_destination(viewport_, static_cast<int32_t>(points_.width),
                                    static_cast<int32_t>(points_.height));
    } else {
        wl_surface_set_buffer_scale(surface_, bufferScale_);
    }
}

void OutputSurface::requestFrame(double now) {
    frameCallback_ = wl_surface_frame(surface_);
    wl_callback_add_listener(frameCallback_, &frameListener, this);
    frameRequestedAt_ = now;
}

wl_egl_window* OutputSurface::gpuWindow() {
    if (gpuWindow_ == nullptr) {
        gpuWindow_ = wl_egl_window_create(surface_, 1, 1);
        prepareGpuFrame();
    }
    return gpuWindow_;
}

void OutputSurface::prepareGpuFrame() {
    if (gpuWindow_ == nullptr || !configured_) {
        return;
    }
    const PixelSize pixels = points_.pixelsAt(scale_);
    wl_egl_window_resize(gpuWindow_, pixels.width, pixels.height, 0, 0);
    setBufferGeometry();
}

void OutputSurface::gpuPresented(double now) {
    // The surface now shows the GPU's picture, which no buffer of ours holds.
    presentedScale_ = 0;
    if (frameCallback_ == nullptr) {
        // Rides on a commit of its own right after the swap's, so the compositor answers it
        // with the swapped picture.
        requestFrame(now);
        wl_surface_commit(surface_);
    }
}

double OutputSurface::frameWait(double now) const {
    return frameCallback_ != nullptr ? std::max(now - frameRequestedAt_, 0.0) : 0;
}

void OutputSurface::frameDone() {
    wl_callback_destroy(frameCallback_);
    frameCallback_ = nullptr;
    if (onFrameDone) {
        onFrameDone();
    }
}

void OutputSurface::toggleFullScreen() {
    if (toplevel_ == nullptr) {
        return;
    }
    fullScreen_ = !fullScreen_;
    if (fullScreen_) {
        xdg_toplevel_set_fullscreen(toplevel_, nullptr);
    } else {
        xdg_toplevel_unset_fullscreen(toplevel_);
    }
}

}  // namespace floodmark
