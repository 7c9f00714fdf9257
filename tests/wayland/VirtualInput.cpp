// Gives a headless compositor's seat a pointer and a keyboard, as plugging them in would:
// headless sway has no input device, so its seat offers clients neither, `swaymsg seat seat0
// cursor move` would reach no one and nothing could type. Creates the file named by its argument
// once both exist; then each SIGUSR1 presses and releases a key, until it is killed: the A key,
// or the key whose evdev code the signal carries (sigqueue).
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <poll.h>
#include <sys/mman.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

// evdev's code of the A key.
constexpr uint32_t keyA = 30;

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals->seat == nullptr) {
        globals->seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        globals->pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
        globals->keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    }
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener registryListener{.global = onGlobal, .global_remove = onGlobalRemove};

// The default keymap (us), handed over in a memory file as the protocol wants it.
bool sendKeymap(zwp_virtual_keyboard_v1* keyboard) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS);
    char* text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
    int file = memfd_create("keymap", MFD_CLOEXEC);
    std::size_t size = text ? std::strlen(text) + 1 : 0;
    bool written = text && file >= 0 && write(file, text, size) == static_cast<ssize_t>(size);
    if (written) {
        zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, file,
                                       static_cast<uint32_t>(size));
    }
    if (file >= 0) {
        close(file);
    }
    free(text);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    sigset_t usr1;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    sigprocmask(SIG_BLOCK, &usr1, nullptr);
    int signals = signalfd(-1, &usr1, SFD_CLOEXEC);
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr || signals < 0 || argc < 2) {
        return 1;
    }
    Globals globals;
    wl_registry_add_listener(wl_display_get_registry(display), &registryListener, &globals);
    wl_display_roundtrip(display);
    if (globals.seat == nullptr || globals.pointers == nullptr || globals.keyboards == nullptr) {
        return 2;
    }
    zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.pointers, globals.seat);
    zwp_virtual_keyboard_v1* keyboard =
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(globals.keyboards, globals.seat);
    if (!sendKeymap(keyboard)) {
        return 3;
    }
    wl_display_roundtrip(display);
    if (std::FILE* ready = std::fopen(argv[1], "w")) {
        std::fclose(ready);
    }
    pollfd watched[2] = {{wl_display_get_fd(display), POLLIN, 0}, {signals, POLLIN, 0}};
    uint32_t milliseconds = 0;
    while (poll(watched, 2, -1) >= 0) {
        if ((watched[0].revents & POLLIN) != 0 && wl_display_dispatch(display) < 0) {
            break;
        }
        if ((watched[1].revents & POLLIN) != 0) {
            signalfd_siginfo received;
            if (read(signals, &received, sizeof received) == sizeof received) {
                uint32_t key =
                    received.ssi_int > 0 ? static_cast<uint32_t>(received.ssi_int) : keyA;
                zwp_virtual_keyboard_v1_key(keyboard, milliseconds += 10, key,
                                            WL_KEYBOARD_KEY_STATE_PRESSED);
                zwp_virtual_keyboard_v1_key(keyboard, milliseconds += 10, key,
                                            WL_KEYBOARD_KEY_STATE_RELEASED);
                wl_display_flush(display);
            }
        }
        if ((watched[0].revents & (POLLHUP | POLLERR)) != 0) {
            break;
        }
    }
    return 0;
}
