// A stand-in for GNOME on a test session bus: Mutter's org.gnome.Mutter.IdleMonitor (idle
// watches fire after their interval without activity; user-active watches fire once at the next
// activity) and the session manager's IsInhibited. SIGUSR1 stands for user input. With "locked"
// it also answers as logind with the caller's session locked (the test points the system bus
// address at the same bus). With "manager-inhibited" it is only the session manager, with an
// idle inhibitor held, beside a real mutter's idle monitor.
//   floodmark_test_gnome_stand_in READY-FILE [inhibited | locked | manager-inhibited]
#include <systemd/sd-bus.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

struct Watch {
    std::uint32_t id;
    double interval;  // seconds; 0 for a user-active watch
    bool fired = false;
};

std::vector<Watch> watches;
std::uint32_t nextId = 1;
bool inhibited = false;
bool locked = false;
// logind's name for the caller's session.
constexpr const char* sessionPath = "/org/freedesktop/login1/session/auto";
volatile std::sig_atomic_t input = 0;
volatile std::sig_atomic_t stop = 0;

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double lastActivity = 0;

int addIdleWatch(sd_bus_message* message, void*, sd_bus_error*) {
    std::uint64_t milliseconds = 0;
    if (sd_bus_message_read(message, "t", &milliseconds) < 0) {
        return -EINVAL;
    }
    watches.push_back({nextId, static_cast<double>(milliseconds) / 1000});
    return sd_bus_reply_method_return(message, "u", nextId++);
}

int addUserActiveWatch(sd_bus_message* message, void*, sd_bus_error*) {
    watches.push_back({nextId, 0});
    return sd_bus_reply_method_return(message, "u", nextId++);
}

int isInhibited(sd_bus_message* message, void*, sd_bus_error*) {
    std::uint32_t flags = 0;
    if (sd_bus_message_read(message, "u", &flags) < 0) {
        return -EINVAL;
    }
    return sd_bus_reply_method_return(message, "b", inhibited && (flags & 8) != 0);
}

const sd_bus_vtable monitorTable[] = {
    SD_BUS_VTABLE_START(0), SD_BUS_METHOD("AddIdleWatch", "t", "u", addIdleWatch, 0),
    SD_BUS_METHOD("AddUserActiveWatch", "", "u", addUserActiveWatch, 0),
    SD_BUS_SIGNAL("WatchFired", "u", 0), SD_BUS_VTABLE_END};

const sd_bus_vtable managerTable[] = {SD_BUS_VTABLE_START(0),
                                      SD_BUS_METHOD("IsInhibited", "u", "b", isInhibited, 0),
                                      SD_BUS_VTABLE_END};

int lockedHint(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
               sd_bus_error*) {
    return sd_bus_message_append(reply, "b", locked);
}

const sd_bus_vtable sessionTable[] = {SD_BUS_VTABLE_START(0),
                                      SD_BUS_PROPERTY("LockedHint", "b", lockedHint, 0, 0),
                                      SD_BUS_VTABLE_END};

bool actAsLogind(sd_bus* bus) {
    return sd_bus_add_object_vtable(bus, nullptr, sessionPath, "org.freedesktop.login1.Session",
                                    sessionTable, nullptr) >= 0 &&
           sd_bus_request_name(bus, "org.freedesktop.login1", 0) >= 0;
}

bool actAsIdleMonitor(sd_bus* bus) {
    return sd_bus_add_object_vtable(bus, nullptr, "/org/gnome/Mutter/IdleMonitor/Core",
                                    "org.gnome.Mutter.IdleMonitor", monitorTable, nullptr) >= 0 &&
           sd_bus_request_name(bus, "org.gnome.Mutter.IdleMonitor", 0) >= 0;
}

void fire(sd_bus* bus, const Watch& watch) {
    sd_bus_emit_signal(bus, "/org/gnome/Mutter/IdleMonitor/Core", "org.gnome.Mutter.IdleMonitor",
                       "WatchFired", "u", watch.id);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s READY-FILE [inhibited | locked | manager-inhibited]\n",
                     argv[0]);
        return 2;
    }
    std::string_view mode = argc > 2 ? argv[2] : "";
    bool managerOnly = mode == "manager-inhibited";
    inhibited = mode == "inhibited" || managerOnly;
    locked = mode == "locked";
    std::signal(SIGUSR1, [](int) { input = 1; });
    std::signal(SIGTERM, [](int) { stop = 1; });
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, "/org/gnome/SessionManager",
                                 "org.gnome.SessionManager", managerTable, nullptr) < 0 ||
        sd_bus_request_name(bus, "org.gnome.SessionManager", 0) < 0 ||
        (!managerOnly && !actAsIdleMonitor(bus)) || (locked && !actAsLogind(bus))) {
        std::fprintf(stderr, "no session bus\n");
        return 1;
    }
    if (FILE* ready = std::fopen(argv[1], "w")) {
        std::fclose(ready);
    }
    lastActivity = now();
    while (!stop) {
        while (sd_bus_process(bus, nullptr) > 0) {
        }
        if (input) {
            input = 0;
            lastActivity = now();
            std::erase_if(watches, [&](Watch& watch) {
                if (watch.interval == 0) {
                    fire(bus, watch);
                    return true;
                }
                watch.fired = false;
                return false;
            });
        }
        for (Watch& watch : watches) {
            if (watch.interval > 0 && !watch.fired && now() - lastActivity >= watch.interval) {
                watch.fired = true;
                fire(bus, watch);
            }
        }
        sd_bus_flush(bus);
        sd_bus_wait(bus, 20000);
    }
    sd_bus_flush_close_unref(bus);
    return 0;
}
