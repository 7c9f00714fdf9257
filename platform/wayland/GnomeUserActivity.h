#pragma once

#include "platform/kit/MainLoop.h"

#include <cstdint>
#include <functional>
#include <memory>

struct sd_bus;
struct sd_bus_slot;

namespace floodmark {

// The user's next input as GNOME's idle monitor sees it (org.gnome.Mutter.IdleMonitor on the
// session bus): the keys the shell keeps for itself (Super, which opens the overview) never
// reach a saver's window, but every key resets the monitor. Nothing here waits on the bus: the
// calls are sent and their replies read as the main loop finds them, and where no monitor
// answers (another desktop, no bus) nothing ever fires.
class GnomeUserActivity {
public:
    // Watches from now on; `onActive` runs on the main loop at the first input.
    static std::unique_ptr<GnomeUserActivity> watch(std::function<void()> onActive);
    ~GnomeUserActivity();
    GnomeUserActivity(const GnomeUserActivity&) = delete;
    GnomeUserActivity& operator=(const GnomeUserActivity&) = delete;

    // Where the watch's number and the WatchFired signal land.
    void added(std::uint32_t watch) { watch_ = watch; }
    void fired(std::uint32_t watch);

private:
    GnomeUserActivity(sd_bus* bus, std::function<void()> onActive);
    void process();

    sd_bus* bus_;
    std::function<void()> onActive_;
    sd_bus_slot* match_ = nullptr;
    sd_bus_slot* adding_ = nullptr;
    std::uint32_t watch_ = 0;
    std::unique_ptr<MainLoop::Watch> readable_;
};

}  // namespace floodmark
