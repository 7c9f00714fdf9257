// A minimal Wayland compositor for the tests: a seat and ext-idle-notify-v1, nothing else (no
// compositor in Debian 12 offers that protocol). Its notifications go idle after their timeout;
// SIGUSR1 stands for user input (resumed, and the timeout starts again). With "inhibited" an
// inhibitor is held for ever, so nothing goes idle.
//   floodmark_test_idle_compositor SOCKET-NAME [inhibited]     (in $XDG_RUNTIME_DIR)
#include "ext-idle-notify-server-protocol.h"

#include <wayland-server.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

struct Notification {
    wl_resource* resource;
    wl_event_source* timer;
    std::uint32_t milliseconds;
    bool idle = false;
};

std::vector<Notification*> notifications;
bool inhibited = false;

void destroyResource(wl_client*, wl_resource* resource) {
    wl_resource_destroy(resource);
}

void ignoreDevice(wl_client*, wl_resource*, std::uint32_t) {}

const struct wl_seat_interface seatImplementation = {ignoreDevice, ignoreDevice, ignoreDevice,
                                                     destroyResource};

void bindSeat(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
    wl_resource* seat =
        wl_resource_create(client, &wl_seat_interface, static_cast<int>(version), id);
    wl_resource_set_implementation(seat, &seatImplementation, nullptr, nullptr);
    wl_seat_send_capabilities(seat, WL_SEAT_CAPABILITY_POINTER);
}

int goIdle(void* data) {
    auto* notification = static_cast<Notification*>(data);
    notification->idle = true;
    ext_idle_notification_v1_send_idled(notification->resource);
    return 0;
}

void arm(Notification* notification) {
    if (!inhibited) {
        wl_event_source_timer_update(notification->timer,
                                     static_cast<int>(notification->milliseconds));
    }
}

const struct ext_idle_notification_v1_interface notificationImplementation = {destroyResource};

void forgetNotification(wl_resource* resource) {
    auto* notification = static_cast<Notification*>(wl_resource_get_user_data(resource));
    wl_event_source_remove(notification->timer);
    std::erase(notifications, notification);
    delete notification;
}

void getIdleNotification(wl_client* client, wl_resource* notifier, std::uint32_t id,
                         std::uint32_t milliseconds, wl_resource*) {
    wl_resource* resource = wl_resource_create(client, &ext_idle_notification_v1_interface,
                                               wl_resource_get_version(notifier), id);
    auto* notification = new Notification{resource, nullptr, milliseconds};
    wl_event_loop* loop = wl_display_get_event_loop(wl_client_get_display(client));
    notification->timer = wl_event_loop_add_timer(loop, goIdle, notification);
    wl_resource_set_implementation(resource, &notificationImplementation, notification,
                                   forgetNotification);
    notifications.push_back(notification);
    arm(notification);
}

const struct ext_idle_notifier_v1_interface notifierImplementation = {destroyResource,
                                                                      getIdleNotification};

void bindNotifier(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
    wl_resource* notifier =
        wl_resource_create(client, &ext_idle_notifier_v1_interface, static_cast<int>(version), id);
    wl_resource_set_implementation(notifier, &notifierImplementation, nullptr, nullptr);
}

int onInput(int, void*) {
    for (Notification* notification : notifications) {
        if (notification->idle) {
            notification->idle = false;
            ext_idle_notification_v1_send_resumed(notification->resource);
        }
        arm(notification);
    }
    return 0;
}

int onTerminate(int, void* display) {
    wl_display_terminate(static_cast<wl_display*>(display));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SOCKET-NAME [inhibited]\n", argv[0]);
        return 2;
    }
    inhibited = argc > 2 && std::string_view(argv[2]) == "inhibited";
    wl_display* display = wl_display_create();
    if (wl_display_add_socket(display, argv[1]) != 0) {
        std::fprintf(stderr, "cannot listen on %s\n", argv[1]);
        return 1;
    }
    wl_global_create(display, &wl_seat_interface, 1, nullptr, bindSeat);
    wl_global_create(display, &ext_idle_notifier_v1_interface, 1, nullptr, bindNotifier);
    wl_event_loop* loop = wl_display_get_event_loop(display);
    wl_event_source* input = wl_event_loop_add_signal(loop, SIGUSR1, onInput, nullptr);
    wl_event_source* terminate = wl_event_loop_add_signal(loop, SIGTERM, onTerminate, display);
    wl_display_run(display);
    wl_event_source_remove(input);
    wl_event_source_remove(terminate);
    wl_display_destroy_clients(display);
    wl_display_destroy(display);
    return 0;
}
