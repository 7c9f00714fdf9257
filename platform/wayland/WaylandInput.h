#pragma once

#include <cstdint>
#include <functional>

struct wl_keyboard;
struct wl_pointer;
struct wl_seat;
struct wl_surface;

namespace floodmark {

// The seat's keys and pointer, as the host needs them: key presses by evdev code, button
// presses, pointer positions on our surfaces. The pointer is hidden over our surfaces.
class WaylandInput {
public:
    // `hidePointer`: no cursor image over our surfaces, as over a saver.
    WaylandInput(wl_seat* seat, bool hidePointer);
    ~WaylandInput();
    WaylandInput(const WaylandInput&) = delete;
    WaylandInput& operator=(const WaylandInput&) = delete;

    std::function<void(std::uint32_t key)> onKey;
    std::function<void()> onButton;
    // Where the pointer is, when it enters a surface and as it moves.
    std::function<void(wl_surface* surface, double x, double y)> onPointerMoved;

    // Takes the keyboard and pointer the seat has now, lets go of those it lost.
    void capabilities(std::uint32_t capabilities);

    // Called by the listeners.
    void pointerEntered(std::uint32_t serial, wl_surface* surface, double x, double y);
    void pointerMoved(double x, double y);
    void keyPressed(std::uint32_t key);
    void buttonPressed();

private:
    wl_seat* seat_;
    bool hidePointer_;
    wl_pointer* pointer_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    wl_surface* pointerSurface_ = nullptr;
};

}  // namespace floodmark
