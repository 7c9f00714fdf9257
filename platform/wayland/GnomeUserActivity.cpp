#include "platform/wayland/GnomeUserActivity.h"

#include <systemd/sd-bus.h>

namespace floodmark {

namespace {

constexpr const char* monitorName = "org.gnome.Mutter.IdleMonitor";
constexpr const char* monitorPath = "/org/gnome/Mutter/IdleMonitor/Core";

int onAdded(sd_bus_message* reply, void* data, sd_bus_error*) {
    std::uint32_t watch = 0;
    if (!sd_bus_message_is_method_error(reply, nullptr) &&
        sd_bus_message_read(reply, "u", &watch) >= 0) {
        static_cast<GnomeUserActivity*>(data)->added(watch);
    }
    return 0;
}

int onFired(sd_bus_message* message, void* data, sd_bus_error*) {
    std::uint32_t watch = 0;
    if (sd_bus_message_read(message, "u", &watch) >= 0) {
        static_cast<GnomeUserActivity*>(data)->fired(watch);
    }
    return 0;
}

// The call, made so that it never starts a service that is not running.
sd_bus_message* addWatchCall(sd_bus* bus) {
    sd_bus_message* call = nullptr;
    if (sd_bus_message_new_method_call(bus, &call, monitorName, monitorPath, monitorName,
                                       "AddUserActiveWatch") < 0) {
        return nullptr;
    }
    sd_bus_message_set_auto_start(call, 0);
    return call;
}

}  // namespace

std::unique_ptr<GnomeUserActivity> GnomeUserActivity::watch(std::function<void()> onActive) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        return nullptr;
    }
    std::unique_ptr<GnomeUserActivity> activity(new GnomeUserActivity(bus, std::move(onActive)));
    // Listening before asking, so that no firing is missed between the two.
    sd_bus_message* call = addWatchCall(bus);
    bool asked =
        sd_bus_match_signal_async(bus, &activity->match_, monitorName, monitorPath, monitorName,
                                  "WatchFired", onFired, nullptr, activity.get()) >= 0 &&
        call != nullptr &&
        sd_bus_call_async(bus, &activity->adding_, call, onAdded, activity.get(), 0) >= 0;
    sd_bus_message_unref(call);
    if (!asked) {
        return nullptr;
    }
    auto* self = activity.get();
    activity->readable_ =
        MainLoop::main().watchReadable(sd_bus_get_fd(bus), [self] { self->process(); });
    activity->process();
    return activity;
}

GnomeUserActivity::GnomeUserActivity(sd_bus* bus, std::function<void()> onActive)
    : bus_(bus), onActive_(std::move(onActive)) {}

GnomeUserActivity::~GnomeUserActivity() {
    readable_.reset();
    sd_bus_slot_unref(adding_);
    sd_bus_slot_unref(match_);
    // Closed, not flushed: the monitor drops the watches of a client that leaves the bus.
    sd_bus_close_unref(bus_);
}

void GnomeUserActivity::fired(std::uint32_t watch) {
    if (watch != 0 && watch == watch_) {
        watch_ = 0;
        onActive_();
    }
}

void GnomeUserActivity::process() {
    while (sd_bus_process(bus_, nullptr) > 0) {
    }
}

}  // namespace floodmark
