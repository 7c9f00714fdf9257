#include "FloodmarkSaver/view/FloodmarkSaverView.h"
#include "platform/gl/GpuDevice.h"
#include "platform/kit/MainLoop.h"
#include "platform/x11/X11Host.h"
#include "support/TempDirectory.h"
#include "support/XServer.h"

#include <benchmark/benchmark.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

extern char** environ;

namespace floodmark {
namespace {

// CPU seconds (user and system) a process has used, from /proc.
double cpuSeconds(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // Fields after the command name, which ends with the last ')': state is field 3, utime 14.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index >= 14) {
            ticks += std::stod(field);
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A line of /proc/self/status in megabytes (VmRSS, VmHWM).
double statusMegabytes(const std::string& key) {
    std::ifstream file("/proc/self/status");
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::stod(line.substr(key.size() + 1)) / 1024;
        }
    }
    return 0;
}

pid_t spawnDemo(double seconds) {
    std::string length = std::to_string(static_cast<int>(seconds));
    const char* arguments[] = {FLOODMARK_BINARY, "demo", "--seconds", length.c_str(), nullptr};
    pid_t pid = -1;
    posix_spawn(&pid, FLOODMARK_BINARY, nullptr, nullptr, const_cast<char**>(arguments), environ);
    return pid;
}

// What the saver costs in the full-screen window of an Xvfb server of its size, Cairo only
// (no hardware GPU here), measured over 20 s after 4 s to settle. Ranges: the screen height
// (1080: 1920×1080; 2160: 3840×2160); 0 resting, 1 busy (`floodmark demo` driving the
// socket); 0 whole pictures, 1 only what changed. Run one variant per process
// (--benchmark_filter), since the feed and its home are the process's.
void BM_SaverCost(benchmark::State& state) {
    constexpr double settle = 4;
    constexpr double measured = 20;
    const int height = static_cast<int>(state.range(0));
    const int width = height * 16 / 9;
    const bool busy = state.range(1) == 1;
    const bool onlyChanges = state.range(2) == 1;
    fixtures::TempDirectory home;
    setenv("HOME", home.path().c_str(), 1);
    fixtures::XServer server(std::to_string(width) + "x" + std::to_string(height) + "x24");
    if (!server.running()) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    GpuDevice::setPolicy(GpuPolicy::automatic);
    for (auto _ : state) {
        std::string error;
        auto host = X11Host::open(
            {.display = server.name(), .scale = 1, .onlyChanges = onlyChanges},
            [](Size size, bool preview) { return FloodmarkSaverView::make(size, preview); }, error);
        if (!host) {
            state.SkipWithError(error.c_str());
            return;
        }
        host->openOwnWindow({static_cast<double>(width), static_cast<double>(height)});
        pid_t demo = busy ? spawnDemo(settle + measured + 5) : -1;
        MainLoop& loop = MainLoop::main();
        double ownStart = 0, serverStart = 0;
        ViewStats start;
        auto begin = loop.after(settle, [&] {
            ownStart = cpuSeconds(getpid());
            serverStart = cpuSeconds(server.pid());
            start = host->stats(0);
        });
        auto end = loop.after(settle + measured, [&] {
            state.counters["process_cpu_pct"] = 100 * (cpuSeconds(getpid()) - ownStart) / measured;
            state.counters["xvfb_cpu_pct"] =
                100 * (cpuSeconds(server.pid()) - serverStart) / measured;
            const auto& stats = host->stats(0);
            state.counters["pictures_per_s"] =
                static_cast<double>(stats.pictures - start.pictures) / measured;
            state.counters["MB_put_per_s"] =
                static_cast<double>(stats.bytesPut - start.bytesPut) / measured / 1e6;
            state.counters["rss_MB"] = statusMegabytes("VmRSS");
            state.counters["peak_rss_MB"] = statusMegabytes("VmHWM");
            host->stop();
        });
        host->run();
        if (demo > 0) {
            kill(demo, SIGTERM);
            waitpid(demo, nullptr, 0);
        }
    }
    state.SetLabel(std::to_string(width) + "x" + std::to_string(height) +
                   (busy ? ", busy" : ", resting") +
                   (onlyChanges ? ", only changes" : ", whole pictures"));
}
BENCHMARK(BM_SaverCost)
    ->ArgsProduct({{1080, 2160}, {0, 1}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace floodmark
