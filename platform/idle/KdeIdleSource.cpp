#include "platform/idle/KdeIdleSource.h"

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
    static_cast<KdeIdleSource*>(data)->offered(registry, name, interface);
}

void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

void onIdle(void* data, org_kde_kwin_idle_timeout*) {
    static_cast<KdeIdleSource*>(data)->changed(IdleChange::idled);
}

void onResumed(void* data, org_kde_kwin_idle_timeout*) {
    static_cast<KdeIdleSource*>(data)->changed(IdleChange::resumed);
}

const org_kde_kwin_idle_timeout_listener timeoutListener = {onIdle, onResumed};

}  // namespace

std::unique_ptr<KdeIdleSource> KdeIdleSource::open(double timeout) {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        return nullptr;
    }
    std::unique_ptr<KdeIdleSource> source(new KdeIdleSource(display));
    source->registry_ = wl_display_get_registry(display);
    wl_registry_add_listener(source->registry_, &registryListener, source.get());
    if (wl_display_roundtrip(display) < 0 || source->seat_ == nullptr || source->idle_ == nullptr) {
        return nullptr;
    }
    // The protocol counts milliseconds in 32 bits; 0 would fire at once and for ever.
    double milliseconds = std::clamp(std::round(timeout * 1000), 1.0, 4294967295.0);
    source->timeout_ = org_kde_kwin_idle_get_idle_timeout(source->idle_, source->seat_,
                                                          static_cast<std::uint32_t>(milliseconds));
    org_kde_kwin_idle_timeout_add_listener(source->timeout_, &timeoutListener, source.get());
    if (wl_display_flush(display) < 0) {
        return nullptr;
    }
    return source;
}

KdeIdleSource::KdeIdleSource(wl_display* display) : display_(display) {}

KdeIdleSource::~KdeIdleSource() {
    if (timeout_ != nullptr) {
        org_kde_kwin_idle_timeout_release(timeout_);
    }
    if (idle_ != nullptr) {
        org_kde_kwin_idle_destroy(idle_);
    }
    if (seat_ != nullptr) {
        wl_seat_destroy(seat_);
    }
    if (registry_ != nullptr) {
        wl_registry_destroy(registry_);
    }
    wl_display_disconnect(display_);
}

void KdeIdleSource::offered(wl_registry* registry, std::uint32_t name, const char* interface) {
    if (seat_ == nullptr && std::strcmp(interface, wl_seat_interface.name) == 0) {
        seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (idle_ == nullptr && std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0) {
        idle_ = static_cast<org_kde_kwin_idle*>(
            wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
    }
}

std::vector<IdleChange> KdeIdleSource::poll() {
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
