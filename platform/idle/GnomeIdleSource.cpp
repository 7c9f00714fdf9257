#include "platform/idle/GnomeIdleSource.h"

#include "platform/idle/DesktopInhibitors.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace floodmark {

namespace {

constexpr const char* monitorName = "org.gnome.Mutter.IdleMonitor";
constexpr const char* monitorPath = "/org/gnome/Mutter/IdleMonitor/Core";
// A monitor that has not answered the first call in this long is not there to watch.
constexpr std::uint64_t openTimeoutMicroseconds = 2'000'000;

int onActiveWatchAdded(sd_bus_message* reply, void* data, sd_bus_error*) {
    std::uint32_t watch = 0;
    bool read = !sd_bus_message_is_method_error(reply, nullptr) &&
                sd_bus_message_read(reply, "u", &watch) >= 0;
    static_cast<GnomeIdleSource*>(data)->activeWatchAdded(read ? std::optional(watch)
                                                               : std::nullopt);
    return 0;
}

int onWatchFired(sd_bus_message* message, void* data, sd_bus_error*) {
    std::uint32_t watch = 0;
    if (sd_bus_message_read(message, "u", &watch) >= 0) {
        static_cast<GnomeIdleSource*>(data)->fired(watch);
    }
    return 0;
}

}  // namespace

std::unique_ptr<GnomeIdleSource> GnomeIdleSource::open(double timeout) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        return nullptr;
    }
    sd_bus_set_method_call_timeout(bus, openTimeoutMicroseconds);
    std::unique_ptr<GnomeIdleSource> source(new GnomeIdleSource(bus));
    // Listen first, so that no firing is missed between the call and the match.
    if (sd_bus_match_signal(bus, &source->match_, monitorName, monitorPath, monitorName,
                            "WatchFired", onWatchFired, source.get()) < 0) {
        return nullptr;
    }
    auto milliseconds =
        static_cast<std::uint64_t>(std::clamp(std::round(timeout * 1000), 1.0, 1e12));
    // Once, at the start, the watcher may wait on the monitor: without the idle watch it has
    // nothing to watch.
    auto watch = source->addIdleWatch(milliseconds);
    if (!watch) {
        return nullptr;
    }
    source->idleWatch_ = *watch;
    return source;
}

GnomeIdleSource::GnomeIdleSource(sd_bus* bus)
    : bus_(bus), inhibited_(sessionManagerInhibitedCall(), inhibitedReply) {}

GnomeIdleSource::~GnomeIdleSource() {
    sd_bus_slot_unref(addingActiveWatch_);
    sd_bus_slot_unref(match_);
    sd_bus_flush_close_unref(bus_);
}

std::optional<std::uint32_t> GnomeIdleSource::addIdleWatch(std::uint64_t milliseconds) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    std::uint32_t watch = 0;
    bool read = sd_bus_call_method(bus_, monitorName, monitorPath, monitorName, "AddIdleWatch",
                                   &error, &reply, "t", milliseconds) >= 0 &&
                sd_bus_message_read(reply, "u", &watch) >= 0;
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return read ? std::optional(watch) : std::nullopt;
}

// Asked, not awaited: a monitor slow to answer must not hold the saver up at the user's return.
void GnomeIdleSource::addActiveWatch() {
    if (sd_bus_call_method_async(bus_, &addingActiveWatch_, monitorName, monitorPath, monitorName,
                                 "AddUserActiveWatch", onActiveWatchAdded, this, "") < 0) {
        addingActiveWatch_ = nullptr;
    }
}

void GnomeIdleSource::activeWatchAdded(std::optional<std::uint32_t> watch) {
    addingActiveWatch_ = sd_bus_slot_unref(addingActiveWatch_);
    activeWatch_ = watch.value_or(0);
}

void GnomeIdleSource::fired(std::uint32_t watch) {
    if (watch == idleWatch_) {
        pending_.push_back(IdleChange::idled);
        wantActiveWatch_ = true;
    } else if (watch == activeWatch_ && activeWatch_ != 0) {
        activeWatch_ = 0;
        pending_.push_back(IdleChange::resumed);
    }
}

std::vector<IdleChange> GnomeIdleSource::poll() {
    if (lost_) {
        return {};
    }
    int result = 0;
    while ((result = sd_bus_process(bus_, nullptr)) > 0) {
    }
    if (result < 0) {
        lost_ = true;
        return std::exchange(pending_, {});
    }
    // The user-active watch fires once: a new one after each idle.
    if (wantActiveWatch_ && activeWatch_ == 0 && addingActiveWatch_ == nullptr) {
        wantActiveWatch_ = false;
        addActiveWatch();
    }
    return std::exchange(pending_, {});
}

std::optional<bool> GnomeIdleSource::readInhibited() {
    return inhibited_.answer(bus_);
}

}  // namespace floodmark
