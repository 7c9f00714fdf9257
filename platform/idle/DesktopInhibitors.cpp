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

// Sends `call` (taking it) and reads the boolean its reply holds.
std::optional<bool> askBoolean(sd_bus* bus, sd_bus_message* call) {
    if (call == nullptr) {
        return std::nullopt;
    }
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int answer = 0;
    bool read = sd_bus_call(bus, call, 0, &error, &reply) >= 0 &&
                sd_bus_message_read(reply, "b", &answer) > 0;
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
    sd_bus_error_free(&error);
    return read ? std::optional(answer != 0) : std::nullopt;
}

}  // namespace

std::optional<bool> askSessionManagerInhibited(sd_bus* bus) {
    sd_bus_message* call = newCall(bus, "org.gnome.SessionManager", "/org/gnome/SessionManager",
                                   "org.gnome.SessionManager", "IsInhibited");
    if (call != nullptr && sd_bus_message_append(call, "u", inhibitIdle) < 0) {
        call = sd_bus_message_unref(call);
    }
    return askBoolean(bus, call);
}

std::optional<bool> askPowerManagementInhibited(sd_bus* bus) {
    return askBoolean(bus, newCall(bus, "org.freedesktop.PowerManagement",
                                   "/org/freedesktop/PowerManagement/Inhibit",
                                   "org.freedesktop.PowerManagement.Inhibit", "HasInhibit"));
}

}  // namespace floodmark
