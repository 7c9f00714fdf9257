#include "platform/idle/ScreenSaverInhibitors.h"

#include "platform/idle/DesktopInhibitors.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdint>
#include <string_view>

namespace floodmark {

namespace {

constexpr const char* serviceName = "org.freedesktop.ScreenSaver";
// Callers use the interface's own path, older ones the short one.
constexpr const char* servicePaths[] = {"/org/freedesktop/ScreenSaver", "/ScreenSaver"};
// A bus name leaving the bus: its new owner is empty.
constexpr const char* departures =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg2=''";

ScreenSaverInhibitors& self(void* data) {
    return *static_cast<ScreenSaverInhibitors*>(data);
}

int onInhibit(sd_bus_message* call, void* data, sd_bus_error*) {
    return self(data).inhibit(call);
}

int onUnInhibit(sd_bus_message* call, void* data, sd_bus_error*) {
    return self(data).unInhibit(call);
}

int onDeparture(sd_bus_message* signal, void* data, sd_bus_error*) {
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(signal, "sss", &name, &oldOwner, &newOwner) > 0 && *newOwner == '\0') {
        self(data).holderLeft(name);
    }
    return 0;
}

bool namesService(sd_bus_message* signal) {
    const char* name = nullptr;
    return sd_bus_message_read(signal, "s", &name) > 0 && std::string_view(name) == serviceName;
}

int onNameAcquired(sd_bus_message* signal, void* data, sd_bus_error*) {
    if (namesService(signal)) {
        self(data).ownershipChanged(true);
    }
    return 0;
}

int onNameLost(sd_bus_message* signal, void* data, sd_bus_error*) {
    if (namesService(signal)) {
        self(data).ownershipChanged(false);
    }
    return 0;
}

// Only what holds idleness off: the screen saver's other calls (GetActive, Lock...) belong to a
// desktop's saver, and their callers take an unknown method for "none here".
const sd_bus_vtable serviceTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Inhibit", "ss", "u", onInhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("UnInhibit", "u", "", onUnInhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

}  // namespace

std::unique_ptr<ScreenSaverInhibitors> ScreenSaverInhibitors::open() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        return nullptr;
    }
    std::unique_ptr<ScreenSaverInhibitors> inhibitors(new ScreenSaverInhibitors(bus));
    return inhibitors->start() ? std::move(inhibitors) : nullptr;
}

ScreenSaverInhibitors::ScreenSaverInhibitors(sd_bus* bus)
    : bus_(bus),
      sessionManager_(sessionManagerInhibitedCall(), inhibitedReply),
      powerManagement_(powerManagementInhibitedCall(), inhibitedReply) {}

ScreenSaverInhibitors::~ScreenSaverInhibitors() {
    sd_bus_flush_close_unref(bus_);
}

bool ScreenSaverInhibitors::start() {
    for (const char* path : servicePaths) {
        if (sd_bus_add_object_vtable(bus_, nullptr, path, serviceName, serviceTable, this) < 0) {
            return false;
        }
    }
    // Departures are watched before the name is taken, so that no holder leaves unseen.
    if (sd_bus_add_match(bus_, nullptr, departures, onDeparture, this) < 0 ||
        sd_bus_match_signal(bus_, nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus", "NameAcquired", onNameAcquired, this) < 0 ||
        sd_bus_match_signal(bus_, nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus", "NameLost", onNameLost, this) < 0) {
        return false;
    }
    // A desktop that comes later may take the name over; queued, the watcher has it back when
    // the desktop leaves.
    int result =
        sd_bus_request_name(bus_, serviceName, SD_BUS_NAME_ALLOW_REPLACEMENT | SD_BUS_NAME_QUEUE);
    if (result < 0) {
        return false;
    }
    owner_ = result > 0;
    return true;
}

void ScreenSaverInhibitors::serve() {
    if (lost_) {
        return;
    }
    int result = 0;
    while ((result = sd_bus_process(bus_, nullptr)) > 0) {
    }
    if (result < 0) {
        lost_ = true;
        ownershipChanged(false);
    }
}

std::optional<bool> ScreenSaverInhibitors::read() {
    serve();
    if (lost_) {
        return std::nullopt;
    }
    if (owner_) {
        return !cookies_.empty();
    }
    if (auto answer = sessionManager_.answer(bus_)) {
        return answer;
    }
    return powerManagement_.answer(bus_);
}

int ScreenSaverInhibitors::inhibit(sd_bus_message* call) {
    const char* holder = sd_bus_message_get_sender(call);
    if (!owner_ || holder == nullptr) {
        return sd_bus_reply_method_errorf(call, SD_BUS_ERROR_FAILED,
                                          "another program keeps the idle inhibitors");
    }
    auto cookie = cookies_.add(holder);
    if (!cookie) {
        return sd_bus_reply_method_errorf(call, SD_BUS_ERROR_LIMITS_EXCEEDED,
                                          "%zu idle inhibitors are held already",
                                          InhibitorCookies::limit);
    }
    return sd_bus_reply_method_return(call, "u", *cookie);
}

int ScreenSaverInhibitors::unInhibit(sd_bus_message* call) {
    std::uint32_t cookie = 0;
    const char* holder = sd_bus_message_get_sender(call);
    if (sd_bus_message_read(call, "u", &cookie) < 0) {
        return -EINVAL;
    }
    if (holder != nullptr) {
        cookies_.release(cookie, holder);
    }
    return sd_bus_reply_method_return(call, "");
}

void ScreenSaverInhibitors::ownershipChanged(bool owner) {
    owner_ = owner;
    // A desktop that took the name over knows nothing of these.
    if (!owner) {
        cookies_.clear();
    }
}

}  // namespace floodmark
