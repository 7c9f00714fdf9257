#include "platform/idle/DesktopInhibitors.h"

#include <systemd/sd-bus.h>

#include <cstdint>

namespace floodmark {

namespace {

// The session manager's inhibit flag for idleness.
constexpr std::uint32_t inhibitIdle = 8;

sd_bus_message* newCall(sd_bus* bus, const char* destination, const char* path,
                        const char* interface, const char* method) {
    sd_bus_message* call = nullptr;
    if (sd_bus_message_new_method_call(bus, &call, destination, path, interface, method) < 0) {
        return nullptr;
    }
    // Asked once a second: a question must never start a service that is not running.
    sd_bus_message_set_auto_start(call, 0);
    return call;
}

}  // namespace

BusQuestion::MakeCall sessionManagerInhibitedCall() {
    return [](sd_bus* bus) {
        sd_bus_message* call = newCall(bus, "org.gnome.SessionManager", "/org/gnome/SessionManager",
                                       "org.gnome.SessionManager", "IsInhibited");
        if (call != nullptr && sd_bus_message_append(call, "u", inhibitIdle) < 0) {
            call = sd_bus_message_unref(call);
        }
        return call;
    };
}

BusQuestion::MakeCall powerManagementInhibitedCall() {
    return [](sd_bus* bus) {
        return newCall(bus, "org.freedesktop.PowerManagement",
                       "/org/freedesktop/PowerManagement/Inhibit",
                       "org.freedesktop.PowerManagement.Inhibit", "HasInhibit");
    };
}

std::optional<bool> inhibitedReply(sd_bus_message* reply) {
    int answer = 0;
    if (sd_bus_message_read(reply, "b", &answer) <= 0) {
        return std::nullopt;
    }
    return answer != 0;
}

}  // namespace floodmark
