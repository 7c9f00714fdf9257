#include "FloodmarkSaver/view/FloodmarkSaverView.h"
#include "platform/gl/GpuDevice.h"
#include "platform/kit/InternetTime.h"
#include "platform/kit/MainLoop.h"
#include "platform/kit/Time.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/Files.h"
#include "platform/system/HomeDirectory.h"
#include "platform/wayland/WaylandHost.h"
#include "support/WaylandCompositor.h"

#include "HackCost.h"
#include "SaverLoad.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace floodmark {
namespace {

using bench::processCpuSeconds;
using bench::writeAwayState;

// The saver on the outputs of a headless sway (layer-shell, Cairo through wl_shm) for 60
// seconds of real time, to set beside BM_X11SaverMinute on Xvfb. Ranges: 0 at rest, 1 busy
// (the level rising and an impulse every second); 0 one 1920×1080 output, 1 three 3840×2160
// ones, all in the one process. Reports pictures a second, the share of one core the process
// used, its resident memory at the end, the megabytes copied into shared memory a second, the
// time from a tick to its buffer committed (including any wait for the compositor's frame
// callback) and the mean time of a tick.
void BM_WaylandSaverMinute(benchmark::State& state) {
    constexpr double seconds = 60;
    const bool busy = state.range(0) == 1;
    const bool threeLarge = state.range(1) == 1;
    const std::vector<std::string> outputs = threeLarge ? std::vector<std::string>(3, "3840x2160")
                                                        : std::vector<std::string>{"1920x1080"};
    fixtures::WaylandCompositor sway(fixtures::WaylandCompositor::Kind::sway, outputs);
    if (!sway.running()) {
        state.SkipWithError("sway did not start");
        return;
    }
    for (const auto& variable : sway.environment()) {
        auto split = variable.find('=');
        setenv(variable.substr(0, split).c_str(), variable.substr(split + 1).c_str(), 1);
    }
    GpuDevice::setPolicy(GpuPolicy::off);
    createDirectories(expandTilde("~/.tolvera"), 0700);
    ViewStats total;
    double cpu = 0;
    for (auto _ : state) {
        std::string error;
        auto host = WaylandHost::open({}, FloodmarkSaverView::make, error);
        if (!host) {
            state.SkipWithError(error.c_str());
            return;
        }
        MainLoop& loop = MainLoop::main();
        int second = 0;
        std::unique_ptr<MainLoop::Timer> companion;
        if (busy) {
            writeAwayState(0.1, nullptr);
            companion = loop.every(1, [&] {
                ++second;
                const char* kinds[] = {"compaction", "failure", "session_end"};
                writeAwayState(0.1 + 0.8 * second / seconds, kinds[second % 3]);
            });
        }
        auto end = loop.after(seconds, [&] {
            state.counters["rss_MB"] = bench::statusMegabytes("self", "VmRSS");
            host->stop();
        });
        double before = processCpuSeconds();
        host->run();
        cpu += processCpuSeconds() - before;
        for (std::size_t index = 0; index < host->viewCount(); ++index) {
            total.pictures += host->stats(index).pictures;
            total.ticks += host->stats(index).ticks;
            total.tickToScreenSeconds += host->stats(index).tickToScreenSeconds;
            total.tickSeconds += host->stats(index).tickSeconds;
            total.bytesPut += host->stats(index).bytesPut;
        }
        unlink(expandTilde("~/.tolvera/away_state.json").c_str());
    }
    double runs = static_cast<double>(state.iterations());
    auto pictures = static_cast<double>(total.pictures);
    auto ticks = static_cast<double>(total.ticks);
    state.counters["pictures_per_s"] = pictures / (runs * seconds);
    state.counters["share_of_core_pct"] = 100 * cpu / (runs * seconds);
    state.counters["tick_to_screen_ms"] =
        pictures > 0 ? 1000 * total.tickToScreenSeconds / pictures : 0;
    state.counters["tick_ms"] = ticks > 0 ? 1000 * total.tickSeconds / ticks : 0;
    state.counters["MB_put_per_s"] = static_cast<double>(total.bytesPut) / (runs * seconds) / 1e6;
    state.counters["outputs"] = static_cast<double>(outputs.size());
    state.SetLabel(std::string(busy ? "busy" : "resting") + ", " + std::to_string(outputs.size()) +
                   " × " + outputs.front() + ", cairo");
}
BENCHMARK(BM_WaylandSaverMinute)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace floodmark
