#include "support/MutterRemoteDesktop.h"

#include "support/WaitUntil.h"

#include <linux/input-event-codes.h>
#include <systemd/sd-bus.h>

#include <cstdarg>

namespace floodmark::fixtures {

namespace {

constexpr const char* serviceName = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* sessionInterface = "org.gnome.Mutter.RemoteDesktop.Session";

// The path of a new session; empty while mutter does not (yet) offer remote desktop.
std::string createSession(sd_bus* bus) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const char* path = nullptr;
    std::string session;
    if (sd_bus_call_method(bus, serviceName, "/org/gnome/Mutter/RemoteDesktop", serviceName,
                           "CreateSession", &error, &reply, "") >= 0 &&
        sd_bus_message_read(reply, "o", &path) >= 0) {
        session = path;
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return session;
}

}  // namespace

MutterRemoteDesktop::MutterRemoteDesktop(const std::string& busAddress) {
    if (sd_bus_new(&bus_) < 0 || sd_bus_set_address(bus_, busAddress.c_str()) < 0 ||
        sd_bus_set_bus_client(bus_, 1) < 0 || sd_bus_start(bus_) < 0) {
        return;
    }
    std::string session;
    waitUntil([&] { return !(session = createSession(bus_)).empty(); });
    if (session.empty()) {
        return;
    }
    session_ = session;
    // Mutter makes its virtual pointer and keyboard at their first event, and a client bound
    // to the seat before then misses that event: make them now, as a desk has them from the start.
    if (!call("Start", "") || !movePointer(0, 0) || !tapKey(KEY_LEFTSHIFT)) {
        session_.clear();
    }
}

MutterRemoteDesktop::~MutterRemoteDesktop() {
    if (started()) {
        call("Stop", "");
    }
    sd_bus_flush_close_unref(bus_);
}

bool MutterRemoteDesktop::call(const char* method, const char* types, ...) {
    sd_bus_message* message = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    std::va_list arguments;
    va_start(arguments, types);
    bool done = sd_bus_message_new_method_call(bus_, &message, serviceName, session_.c_str(),
                                               sessionInterface, method) >= 0 &&
                sd_bus_message_appendv(message, types, arguments) >= 0 &&
                sd_bus_call(bus_, message, 0, &error, &reply) >= 0;
    va_end(arguments);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(message);
    sd_bus_error_free(&error);
    return done;
}

bool MutterRemoteDesktop::movePointer(double dx, double dy) {
    return started() && call("NotifyPointerMotionRelative", "dd", dx, dy);
}

bool MutterRemoteDesktop::tapKey(unsigned keycode) {
    return started() && call("NotifyKeyboardKeycode", "ub", keycode, 1) &&
           call("NotifyKeyboardKeycode", "ub", keycode, 0);
}

}  // namespace floodmark::fixtures
