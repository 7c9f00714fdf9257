#pragma once

#include "platform/idle/InhibitorCookies.h"
#include "platform/system/BusQuestion.h"

#include <memory>
#include <optional>

struct sd_bus;
struct sd_bus_message;

namespace floodmark {

// Idle inhibitors in an X11 session, which has no compositor to hold them: players and browsers
// call org.freedesktop.ScreenSaver's Inhibit on the session bus. Where no desktop owns that name
// (a bare window manager), the watcher owns it and keeps the inhibitors itself; where a desktop
// owns it, the desktop is asked. The watcher stands aside for a desktop that takes the name over
// and takes it back when the desktop leaves.
class ScreenSaverInhibitors {
public:
    // Null when there is no session bus.
    static std::unique_ptr<ScreenSaverInhibitors> open();
    ~ScreenSaverInhibitors();
    ScreenSaverInhibitors(const ScreenSaverInhibitors&) = delete;
    ScreenSaverInhibitors& operator=(const ScreenSaverInhibitors&) = delete;

    // Answers the calls waiting on the bus; often, so that callers are not kept waiting.
    void serve();
    // Whether something holds idleness off; absent when nobody can say.
    std::optional<bool> read();
    // The bus connection is gone (the session bus restarted): open anew to serve again.
    bool lost() const { return lost_; }

    // Where the bus's messages land.
    int inhibit(sd_bus_message* call);
    int unInhibit(sd_bus_message* call);
    void holderLeft(const char* holder) { cookies_.holderLeft(holder); }
    void ownershipChanged(bool owner);

private:
    explicit ScreenSaverInhibitors(sd_bus* bus);
    bool start();

    sd_bus* bus_;
    InhibitorCookies cookies_;
    bool owner_ = false;
    bool lost_ = false;
    BusQuestion sessionManager_;
    BusQuestion powerManagement_;
};

}  // namespace floodmark
