#include "platform/system/SessionLock.h"

#include "platform/system/BusQuestion.h"

#include <systemd/sd-bus.h>

namespace floodmark {

namespace {

// logind's own name for the caller's session, or, for a program outside any session (a
// systemd user service), the user's display session.
sd_bus_message* lockedHintCall(sd_bus* bus) {
    sd_bus_message* call = nullptr;
    if (sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1",
                                       "/org/freedesktop/login1/session/auto",
                                       "org.freedesktop.DBus.Properties", "Get") < 0) {
        return nullptr;
    }
    if (sd_bus_message_set_auto_start(call, 0) < 0 ||
        sd_bus_message_append(call, "ss", "org.freedesktop.login1.Session", "LockedHint") < 0) {
        return sd_bus_message_unref(call);
    }
    return call;
}

std::optional<bool> lockedHintReply(sd_bus_message* reply) {
    int locked = 0;
    if (sd_bus_message_read(reply, "v", "b", &locked) < 0) {
        return std::nullopt;
    }
    return locked != 0;
}

}  // namespace

bool readSessionLocked() {
    // One connection for each thread that asks; the question never waits for logind.
    thread_local OwnBusQuestion question(OwnBusQuestion::Bus::system, lockedHintCall,
                                         lockedHintReply);
    return question.answer().value_or(false);
}

}  // namespace floodmark
