#include "platform/idle/WaylandIdleSource.h"

#include "platform/system/WaylandSocketVariable.h"

#include "ext-idle-notify-client-protocol.h"
#include "kde-idle-client-protocol.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

namespace floodmark {

namespace {

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t) {
    static_cast<WaylandIdleSource*>(data)->offered(registry, name, interface);
}

void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener registryListener{.global = onGlobal, .global_remove = onGlobalRemove};

// The two protocols' events differ only in the type of their object.
template <typename Object>
void onIdle(void* data, Object*) {
    static_cast<WaylandIdleSource*>(data)->changed(IdleChange::idled);
}

template <typename Object>
void onResumed(void* data, Object*) {
    static_cast<WaylandIdleSource*>(data)->changed(IdleChange::resumed);
}

const ext_idle_notification_v1_listener notificationListener{.idled = onIdle, .resumed = onResumed};
const org_kde_kwin_idle_timeout_listener kdeTimeoutListener{.idle = onIdle, .resumed = onResumed};

}  // namespace

std::unique_ptr<WaylandIdleSource> WaylandIdleSource::open(double timeout) {
    forgetEmptyWaylandSocket();
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        return nullptr;
    }
    std::unique_ptr<WaylandIdleSource> source(new WaylandIdleSource(display));
    source->registry_ = wl_display_get_registry(display);
    wl_registry_add_listener(source->registry_, &registryListener, source.get());
    if (wl_display_roundtrip(display) < 0 || source->seat_ == nullptr ||
        (source->notifier_ == nullptr && source->kdeIdle_ == nullptr)) {
        return nullptr;
    }
    // The protocols count milliseconds in 32 bits; 0 would fire at once and for ever.
    auto milliseconds =
        static_cast<std::uint32_t>(std::clamp(std::round(timeout * 1000), 1.0, 4294967295.0));
    if (source->notifier_ != nullptr) {
        source->notification_ = ext_idle_notifier_v1_get_idle_notification(
            source->notifier_, milliseconds, source->seat_);
        ext_idle_notification_v1_add_listener(source->notification_, &notificationListener,
                                              source.get());
    } else {
        source->kdeTimeout_ =
            org_kde_kwin_idle_get_idle_timeout(source->kdeIdle_, source->seat_, milliseconds);
        org_kde_kwin_idle_timeout_add_listener(source->kdeTimeout_, &kdeTimeoutListener,
                                               source.get());
    }
    if (wl_display_flush(display) < 0) {
        return nullptr;
    }
    return source;
}

WaylandIdleSource::WaylandIdleSource(wl_display* display) : display_(display) {}

WaylandIdleSource::~WaylandIdleSource() {
    if (notification_ != nullptr) {
        ext_idle_notification_v1_destroy(notification_);
    }
    if (notifier_ != nullptr) {
        ext_idle_notifier_v1_destroy(notifier_);
    }
    if (kdeTimeout_ != nullptr) {
        org_kde_kwin_idle_timeout_release(kdeTimeout_);
    }
    if (kdeIdle_ != nullptr) {
        org_kde_kwin_idle_destroy(kdeIdle_);
    }
    if (seat_ != nullptr) {
        wl_seat_destroy(seat_);
    }
    if (registry_ != nullptr) {
        wl_registry_destroy(registry_);
    }
    wl_display_disconnect(display_);
}

void WaylandIdleSource::offered(wl_registry* registry, std::uint32_t name, const char* interface) {
    if (seat_ == nullptr && std::strcmp(interface, wl_seat_interface.name) == 0) {
        seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (notifier_ == nullptr &&
               std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0) {
        notifier_ = static_cast<ext_idle_notifier_v1*>(
            wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
    } else if (kdeIdle_ == nullptr &&
               std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0) {
        kdeIdle_ = static_cast<org_kde_kwin_idle*>(
            wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
    }
}

std::string_view WaylandIdleSource::name() const {
    return notification_ != nullptr ? "ext-idle-notify" : "kde-idle";
}

std::vector<IdleChange> WaylandIdleSource::poll() {
    if (lost_) {
        return {};
    }
    // Read what has arrived without waiting, then hand it to the listeners.
    while (wl_display_prepare_read(display_) != 0) {
        wl_display_dispatch_pending(display_);
    }
    wl_display_flush(display_);
    pollfd ready{wl_display_get_fd(display_), POLLIN, 0};
    if (::poll(&ready, 1, 0) > 0) {
        wl_display_read_events(display_);
    } else {
        wl_display_cancel_read(display_);
    }
    if (wl_display_dispatch_pending(display_) < 0 || wl_display_get_error(display_) != 0) {
        lost_ = true;
    }
    return std::exchange(pending_, {});
}

}  // namespace floodmark
