#include "HackCost.h"

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
#include <memory>
#include <string>

extern char** environ;

namespace floodmark {
namespace {

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
// (--benchmark_filter): the feed is the process's, so a variant run after a busy one would
// find the water still high. Repetitions (--benchmark_repetitions=5) give the medians. Where
// XScreenSaver's hacks are installed, `ripples` (a water hack) and `abstractile` (a calm one)
// are measured after it in each repetition, each on a screen of the same size; else the label
// says why not.
void BM_SaverCost(benchmark::State& state) {
    constexpr double settle = 4;
    constexpr double measured = 20;
    const int height = static_cast<int>(state.range(0));
    const int width = height * 16 / 9;
    const bool busy = state.range(1) == 1;
    const bool onlyChanges = state.range(2) == 1;
    // One home for the whole process: the saver finds its socket through the first one.
    static const fixtures::TempDirectory home;
    setenv("HOME", home.path().c_str(), 1);
    fixtures::XServer server(std::to_string(width) + "x" + std::to_string(height) + "x24");
    if (!server.running()) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    GpuDevice::setPolicy(GpuPolicy::automatic);
    for (auto _ : state) {
        std::string error;
        auto host =
            X11Host::open({.display = server.name(), .scale = 1, .onlyChanges = onlyChanges},
                          FloodmarkSaverView::make, error);
        if (!host) {
            state.SkipWithError(error.c_str());
            return;
        }
        host->openOwnWindow({static_cast<double>(width), static_cast<double>(height)});
        MainLoop& loop = MainLoop::main();
        // The demo drives the saver's socket, which the saver binds once its loop runs: started
        // before that, it finds no saver and ends at once.
        pid_t demo = -1;
        const std::string socket = home.path() + "/.tolvera/live.sock";
        std::unique_ptr<MainLoop::Timer> startDemo;
        if (busy) {
            startDemo = loop.every(0.1, [&] {
                if (demo < 0 && access(socket.c_str(), F_OK) == 0) {
                    demo = spawnDemo(settle + measured + 5);
                }
            });
        }
        double ownStart = 0, serverStart = 0;
        ViewStats start;
        auto begin = loop.after(settle, [&] {
            ownStart = bench::cpuSeconds(getpid());
            serverStart = bench::cpuSeconds(server.pid());
            start = host->stats(0);
        });
        auto end = loop.after(settle + measured, [&] {
            state.counters["process_cpu_pct"] =
                100 * (bench::cpuSeconds(getpid()) - ownStart) / measured;
            state.counters["xvfb_cpu_pct"] =
                100 * (bench::cpuSeconds(server.pid()) - serverStart) / measured;
            const auto& stats = host->stats(0);
            state.counters["pictures_per_s"] =
                static_cast<double>(stats.pictures - start.pictures) / measured;
            state.counters["MB_put_per_s"] =
                static_cast<double>(stats.bytesPut - start.bytesPut) / measured / 1e6;
            state.counters["rss_MB"] = bench::statusMegabytes("self", "VmRSS");
            state.counters["peak_rss_MB"] = bench::statusMegabytes("self", "VmHWM");
            host->stop();
        });
        host->run();
        if (demo > 0) {
            kill(demo, SIGTERM);
            waitpid(demo, nullptr, 0);
        }
        if (busy && demo < 0) {
            state.SkipWithError("the saver never bound its socket");
            return;
        }
    }
    std::string label = std::to_string(width) + "x" + std::to_string(height) +
                        (busy ? ", busy" : ", resting") +
                        (onlyChanges ? ", only changes" : ", whole pictures");
    for (const char* hack : {"ripples", "abstractile"}) {
        auto cost = bench::measureHack(hack, width, height, settle, measured);
        if (!cost.ran) {
            label += std::string("; ") + hack + " skipped: " + cost.reason;
            continue;
        }
        const std::string prefix = hack;
        state.counters[prefix + "_cpu_pct"] = cost.cpuPercent;
        state.counters[prefix + "_xvfb_cpu_pct"] = cost.serverPercent;
        state.counters[prefix + "_rss_MB"] = cost.rssMegabytes;
        if (cost.cpuPercent > 0) {
            state.counters["times_" + prefix] = state.counters["process_cpu_pct"] / cost.cpuPercent;
        }
    }
    state.SetLabel(label);
}
BENCHMARK(BM_SaverCost)
    ->ArgsProduct({{1080, 2160}, {0, 1}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace floodmark
