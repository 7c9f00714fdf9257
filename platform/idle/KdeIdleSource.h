#pragma once

#include "platform/idle/IdleSource.h"

#include <memory>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct org_kde_kwin_idle;
struct org_kde_kwin_idle_timeout;

namespace floodmark {

// KDE's org_kde_kwin_idle on the compositor of WAYLAND_DISPLAY (KWin 5, sway before 1.8): one
// timeout on the first seat, whose idle and resumed events are the changes.
class KdeIdleSource final : public IdleSource {
public:
    // Null when there is no compositor, no seat, or no org_kde_kwin_idle.
    static std::unique_ptr<KdeIdleSource> open(double timeout);
    ~KdeIdleSource() override;

    std::string_view name() const override { return "kde-idle"; }
    std::vector<IdleChange> poll() override;
    bool lost() const override { return lost_; }

    // Registry and timeout listeners: what the compositor sends lands here.
    void offered(wl_registry* registry, std::uint32_t name, const char* interface);
    void changed(IdleChange change) { pending_.push_back(change); }

private:
    explicit KdeIdleSource(wl_display* display);

    wl_display* display_;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    org_kde_kwin_idle* idle_ = nullptr;
    org_kde_kwin_idle_timeout* timeout_ = nullptr;
    std::vector<IdleChange> pending_;
    bool lost_ = false;
};

}  // namespace floodmark
