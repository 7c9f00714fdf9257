#pragma once

#include "platform/idle/IdleSource.h"

#include <cstdint>
#include <memory>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct ext_idle_notifier_v1;
struct ext_idle_notification_v1;
struct org_kde_kwin_idle;
struct org_kde_kwin_idle_timeout;

namespace floodmark {

// The idle protocol of the compositor on WAYLAND_DISPLAY: ext-idle-notify-v1 (KWin 6, sway 1.8
// and later, Hyprland, niri, COSMIC), which also honours idle inhibitors, else KDE's older
// org_kde_kwin_idle (KWin 5, sway 1.7). One timeout on the first seat; its idle and resumed
// events are the changes.
class WaylandIdleSource final : public IdleSource {
public:
    // Null when there is no compositor, no seat, or neither protocol.
    static std::unique_ptr<WaylandIdleSource> open(double timeout);
    ~WaylandIdleSource() override;

    std::string_view name() const override;
    std::vector<IdleChange> poll() override;
    bool lost() const override { return lost_; }
    double ownSurfacesGrace() const override { return 2; }

    // Where the registry and the timeout's listeners deliver.
    void offered(wl_registry* registry, std::uint32_t name, const char* interface);
    void changed(IdleChange change) { pending_.push_back(change); }

private:
    explicit WaylandIdleSource(wl_display* display);

    wl_display* display_;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    ext_idle_notifier_v1* notifier_ = nullptr;
    ext_idle_notification_v1* notification_ = nullptr;
    org_kde_kwin_idle* kdeIdle_ = nullptr;
    org_kde_kwin_idle_timeout* kdeTimeout_ = nullptr;
    std::vector<IdleChange> pending_;
    bool lost_ = false;
};

}  // namespace floodmark
