#include "platform/wayland/WaylandInput.h"

#include <wayland-client.h>

#include <unistd.h>

namespace floodmark {

namespace {

WaylandInput& of(void* data) {
    return *static_cast<WaylandInput*>(data);
}

const wl_pointer_listener pointerListener{
    .enter =
        [](void* data, wl_pointer*, uint32_t serial, wl_surface* surface, wl_fixed_t x,
           wl_fixed_t y) {
            of(data).pointerEntered(serial, surface, wl_fixed_to_double(x), wl_fixed_to_double(y));
        },
    .leave = [](void*, wl_pointer*, uint32_t, wl_surface*) {},
    .motion =
        [](void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
            of(data).pointerMoved(wl_fixed_to_double(x), wl_fixed_to_double(y));
        },
    .button =
        [](void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
            if (state == WL_POINTER_BUTTON_STATE_PRESSED) {
                of(data).buttonPressed();
            }
        },
    .axis = [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {},
    .frame = [](void*, wl_pointer*) {},
    .axis_source = [](void*, wl_pointer*, uint32_t) {},
    .axis_stop = [](void*, wl_pointer*, uint32_t, uint32_t) {},
    .axis_discrete = [](void*, wl_pointer*, uint32_t, int32_t) {},
    .axis_value120 = [](void*, wl_pointer*, uint32_t, int32_t) {},
};

const wl_keyboard_listener keyboardListener{
    // The keymap is not needed: the few keys the host knows are read by their codes.
    .keymap = [](void*, wl_keyboard*, uint32_t, int32_t descriptor,
                 uint32_t) { close(descriptor); },
    .enter = [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {},
    .leave = [](void*, wl_keyboard*, uint32_t, wl_surface*) {},
    .key =
        [](void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
            if (state == WL_KEYBOARD_KEY_STATE_PRESSED) {
                of(data).keyPressed(key);
            }
        },
    .modifiers = [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
    .repeat_info = [](void*, wl_keyboard*, int32_t, int32_t) {},
};

}  // namespace

WaylandInput::WaylandInput(wl_seat* seat, bool hidePointer)
    : seat_(seat), hidePointer_(hidePointer) {}

WaylandInput::~WaylandInput() {
    if (pointer_ != nullptr) {
        wl_pointer_release(pointer_);
    }
    if (keyboard_ != nullptr) {
        wl_keyboard_release(keyboard_);
    }
}

void WaylandInput::capabilities(std::uint32_t capabilities) {
    bool hasPointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
    bool hasKeyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    if (hasPointer && pointer_ == nullptr) {
        pointer_ = wl_seat_get_pointer(seat_);
        wl_pointer_add_listener(pointer_, &pointerListener, this);
    } else if (!hasPointer && pointer_ != nullptr) {
        wl_pointer_release(pointer_);
        pointer_ = nullptr;
    }
    if (hasKeyboard && keyboard_ == nullptr) {
        keyboard_ = wl_seat_get_keyboard(seat_);
        wl_keyboard_add_listener(keyboard_, &keyboardListener, this);
    } else if (!hasKeyboard && keyboard_ != nullptr) {
        wl_keyboard_release(keyboard_);
        keyboard_ = nullptr;
    }
}

void WaylandInput::pointerEntered(std::uint32_t serial, wl_surface* surface, double x, double y) {
    if (hidePointer_) {
        wl_pointer_set_cursor(pointer_, serial, nullptr, 0, 0);
    }
    pointerSurface_ = surface;
    pointerMoved(x, y);
}

void WaylandInput::pointerMoved(double x, double y) {
    if (onPointerMoved) {
        onPointerMoved(pointerSurface_, x, y);
    }
}

void WaylandInput::keyPressed(std::uint32_t key) {
    if (onKey) {
        onKey(key);
    }
}

void WaylandInput::buttonPressed() {
    if (onButton) {
        onButton();
    }
}

}  // namespace floodmark
