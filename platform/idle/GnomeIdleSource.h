#pragma once

#include "platform/idle/IdleSource.h"
#include "platform/system/BusQuestion.h"

#include <cstdint>
#include <memory>

struct sd_bus;
struct sd_bus_slot;
struct sd_bus_message;

namespace floodmark {

// GNOME's idle monitor on the session bus (Mutter offers neither Wayland idle protocol): an idle
// watch for the timeout, then a one-shot user-active watch for the way back. Idle inhibitors are
// the session manager's (IsInhibited with the idle flag).
class GnomeIdleSource final : public IdleSource {
public:
    // Null when there is no session bus or no org.gnome.Mutter.IdleMonitor on it.
    static std::unique_ptr<GnomeIdleSource> open(double timeout);
    ~GnomeIdleSource() override;

    std::string_view name() const override { return "gnome-idle-monitor"; }
    std::vector<IdleChange> poll() override;
    bool lost() const override { return lost_; }
    std::optional<bool> readInhibited() override;

    // Where the WatchFired signal and the user-active watch's number land.
    void fired(std::uint32_t watch);
    void activeWatchAdded(std::optional<std::uint32_t> watch);

private:
    explicit GnomeIdleSource(sd_bus* bus);
    std::optional<std::uint32_t> addIdleWatch(std::uint64_t milliseconds);
    void addActiveWatch();

    sd_bus* bus_;
    sd_bus_slot* match_ = nullptr;
    std::uint32_t idleWatch_ = 0;
    std::uint32_t activeWatch_ = 0;
    bool wantActiveWatch_ = false;
    sd_bus_slot* addingActiveWatch_ = nullptr;
    BusQuestion inhibited_;
    std::vector<IdleChange> pending_;
    bool lost_ = false;
};

}  // namespace floodmark
