#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"
#include "support/WaylandCompositor.h"
#include "support/XServer.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

namespace floodmark {
namespace {

// Seconds of CPU a process has used so far, from /proc/PID/stat.
double cpuSecondsOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    auto close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long user = 0;
    unsigned long long system = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14) {
            user = std::stoull(field);
        } else if (index == 15) {
            system = std::stoull(field);
        }
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Resident memory of a process in MB, from /proc/PID/status.
double residentMegabytesOf(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024;
        }
    }
    return 0;
}

// The idle watcher as it spends most of a session: waiting for idleness that has not come yet
// (a 5-minute timeout, measured over 30 s after a settling second). Range 0: X11 (Xvfb), where it
// asks the server's idle time ten times a second; 1: Wayland (headless sway, KDE's idle
// protocol), where the compositor tells it. Lock, lockers and inhibitors are asked once a second
// on both. Reports the share of one core it used and its resident memory.
void BM_IdleWatcherWaiting(benchmark::State& state) {
    constexpr double seconds = 30;
    const bool wayland = state.range(0) == 1;
    std::unique_ptr<fixtures::XServer> server;
    std::unique_ptr<fixtures::WaylandCompositor> sway;
    std::vector<std::string> environment{"FLOODMARK_SAVER_PROGRAM=/bin/true"};
    if (wayland) {
        sway = std::make_unique<fixtures::WaylandCompositor>(
            fixtures::WaylandCompositor::Kind::sway, std::vector<std::string>{"640x360"});
        if (!sway->running()) {
            state.SkipWithError("sway did not start");
            return;
        }
        auto more = sway->environment();
        environment.insert(environment.end(), more.begin(), more.end());
    } else {
        server = std::make_unique<fixtures::XServer>();
        if (!server->running()) {
            state.SkipWithError("Xvfb did not start");
            return;
        }
        environment.push_back("DISPLAY=" + server->name());
    }
    double cpu = 0;
    double resident = 0;
    for (auto _ : state) {
        fixtures::TempDirectory home;
        fixtures::RunningFloodmark watch({"idle", "--after", "5"}, home.path(), environment);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        double before = cpuSecondsOf(watch.pid());
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        cpu += cpuSecondsOf(watch.pid()) - before;
        resident += residentMegabytesOf(watch.pid());
        watch.stop(SIGTERM);
    }
    double runs = static_cast<double>(state.iterations());
    state.counters["core_share_percent"] = 100 * cpu / (seconds * runs);
    state.counters["resident_MB"] = resident / runs;
}
BENCHMARK(BM_IdleWatcherWaiting)->DenseRange(0, 1)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace floodmark
