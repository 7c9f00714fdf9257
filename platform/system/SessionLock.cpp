#include "platform/system/SessionLock.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdint>

namespace floodmark {

bool readSessionLocked() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) {
        return false;
    }
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int locked = 0;
    const char* session = nullptr;
    if (sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                           "org.freedesktop.login1.Manager", "GetSessionByPID", &error, &reply, "u",
                           static_cast<std::uint32_t>(getpid())) >= 0 &&
        sd_bus_message_read(reply, "o", &session) >= 0) {
        if (sd_bus_get_property_trivial(bus, "org.freedesktop.login1", session,
                                        "org.freedesktop.login1.Session", "LockedHint", &error, 'b',
                                        &locked) < 0) {
            locked = 0;
        }
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
    return locked != 0;
}

}  // namespace floodmark
