#pragma once

struct wl_egl_window;

namespace floodmark {

// The window system's window that the GPU may draw into: an X window with its visual, or a
// Wayland surface as a wl_egl_window; neither for an offscreen window.
struct NativeWindow {
    unsigned long xWindow = 0;
    unsigned long xVisual = 0;
    wl_egl_window* waylandWindow = nullptr;

    bool exists() const { return xWindow != 0 || waylandWindow != nullptr; }
    bool operator==(const NativeWindow&) const = default;
};

}  // namespace floodmark
