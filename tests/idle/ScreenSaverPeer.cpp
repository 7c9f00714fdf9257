// A peer of the idle watcher's org.freedesktop.ScreenSaver on a test session bus.
//   floodmark_test_screensaver_peer hold COUNT READY-FILE
//     a player: calls Inhibit COUNT times and writes the cookies to READY-FILE, one a line, then
//     the name of the error that refused one, if any; SIGUSR1 hands them all back (UnInhibit).
//   floodmark_test_screensaver_peer desktop READY-FILE
//     a desktop with a video playing: owns org.freedesktop.ScreenSaver and
//     org.freedesktop.PowerManagement, whose HasInhibit says true.
// SIGTERM ends either.
#include <systemd/sd-bus.h>

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

volatile std::sig_atomic_t stop = 0;
volatile std::sig_atomic_t release = 0;

// Written whole, so that the test never reads half of it.
void writeReady(const std::string& path, const std::string& text) {
    std::string part = path + ".part";
    if (FILE* file = std::fopen(part.c_str(), "w")) {
        std::fputs(text.c_str(), file);
        std::fclose(file);
        std::rename(part.c_str(), path.c_str());
    }
}

// One Inhibit call's outcome: its cookie's line or its error's.
int onInhibitReply(sd_bus_message* reply, void* data, sd_bus_error*) {
    auto& line = *static_cast<std::string*>(data);
    std::uint32_t cookie = 0;
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
        line = error->name;
    } else if (sd_bus_message_read(reply, "u", &cookie) > 0) {
        line = std::to_string(cookie);
    } else {
        line = "no cookie";
    }
    return 0;
}

int hold(sd_bus* bus, int count, const std::string& ready) {
    // All at once, as a flood of callers would, and answered in the order sent.
    std::vector<std::string> lines(static_cast<std::size_t>(std::max(count, 0)));
    for (std::string& line : lines) {
        if (sd_bus_call_method_async(bus, nullptr, "org.freedesktop.ScreenSaver",
                                     "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
                                     "Inhibit", onInhibitReply, &line, "ss", "org.example.Player",
                                     "Playing a video") < 0) {
            return 1;
        }
    }
    auto answered = [&] {
        return std::none_of(lines.begin(), lines.end(), [](auto& line) { return line.empty(); });
    };
    while (!stop && !answered()) {
        while (sd_bus_process(bus, nullptr) > 0) {
        }
        sd_bus_wait(bus, 20000);
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    writeReady(ready, text);
    while (!stop) {
        if (release) {
            release = 0;
            for (const std::string& line : lines) {
                char* end = nullptr;
                unsigned long cookie = std::strtoul(line.c_str(), &end, 10);
                if (*end == '\0') {
                    sd_bus_call_method_async(bus, nullptr, "org.freedesktop.ScreenSaver",
                                             "/org/freedesktop/ScreenSaver",
                                             "org.freedesktop.ScreenSaver", "UnInhibit", nullptr,
                                             nullptr, "u", static_cast<std::uint32_t>(cookie));
                }
            }
            sd_bus_flush(bus);
        }
        while (sd_bus_process(bus, nullptr) > 0) {
        }
        usleep(20000);
    }
    return 0;
}

int hasInhibit(sd_bus_message* call, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(call, "b", 1);
}

const sd_bus_vtable powerTable[] = {
    SD_BUS_VTABLE_START(0), SD_BUS_METHOD("HasInhibit", "", "b", hasInhibit, 0), SD_BUS_VTABLE_END};

int actAsDesktop(sd_bus* bus, const std::string& ready) {
    if (sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/PowerManagement/Inhibit",
                                 "org.freedesktop.PowerManagement.Inhibit", powerTable,
                                 nullptr) < 0 ||
        sd_bus_request_name(bus, "org.freedesktop.ScreenSaver", 0) < 0 ||
        sd_bus_request_name(bus, "org.freedesktop.PowerManagement", 0) < 0) {
        std::fprintf(stderr, "cannot own the desktop's names\n");
        return 1;
    }
    writeReady(ready, "");
    while (!stop) {
        while (sd_bus_process(bus, nullptr) > 0) {
        }
        sd_bus_wait(bus, 20000);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> words(argv + 1, argv + argc);
    bool holding = words.size() == 3 && words[0] == "hold";
    if (!holding && !(words.size() == 2 && words[0] == "desktop")) {
        std::fprintf(stderr, "usage: %s hold COUNT READY-FILE | desktop READY-FILE\n", argv[0]);
        return 2;
    }
    struct sigaction action = {};
    action.sa_handler = [](int number) { (number == SIGUSR1 ? release : stop) = 1; };
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGUSR1, &action, nullptr);
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) {
        std::fprintf(stderr, "no session bus\n");
        return 1;
    }
    int status = holding ? hold(bus, std::atoi(argv[2]), argv[3]) : actAsDesktop(bus, argv[2]);
    sd_bus_flush_close_unref(bus);
    return status;
}
