#include "FloodmarkSaver/view/FloodmarkSaverView.h"
#include "platform/gl/GpuDevice.h"
#include "platform/kit/InternetTime.h"
#include "platform/kit/MainLoop.h"
#include "platform/kit/Time.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/Files.h"
#include "platform/system/HomeDirectory.h"
#include "platform/x11/X11Host.h"
#include "support/XServer.h"

#include "SaverLoad.h"

#include <benchmark/benchmark.h>

#include <ctime>

namespace floodmark {
namespace {

using bench::processCpuSeconds;
using bench::writeAwayState;

// The saver in a 1920×1080 window of an Xvfb server for 60 seconds of real time. First range:
// 0 at rest; 1 busy, the level rising and an impulse every second (ripples and pops), so that
// it draws 30 pictures a second. Second range: 0 Cairo, put on the screen through MIT-SHM;
// 1 the GPU (llvmpipe here, forced) drawing into an EGL window surface. Reports pictures a
// second (Cairo), the share of one core the process used, the time from a tick to its picture
// on the server (Cairo) and the mean time of a tick, drawing and presenting included.
void BM_X11SaverMinute(benchmark::State& state) {
    constexpr double seconds = 60;
    const bool busy = state.range(0) == 1;
    const bool gpu = state.range(1) == 1;
    fixtures::XServer server("1920x1080x24");
    if (!server.running()) {
        state.SkipWithError("Xvfb did not start");
        return;
    }
    GpuDevice::setPolicy(gpu ? GpuPolicy::forced : GpuPolicy::off);
    createDirectories(expandTilde("~/.tolvera"), 0700);
    double pictures = 0;
    double cpu = 0;
    double tickToScreen = 0;
    double ticks = 0;
    double tickTime = 0;
    for (auto _ : state) {
        std::string error;
        auto host =
            X11Host::open({.display = server.name(), .scale = 1}, FloodmarkSaverView::make, error);
        host->openOwnWindow({1920, 1080});
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
        auto end = loop.after(seconds, [&] { host->stop(); });
        double before = processCpuSeconds();
        host->run();
        cpu += processCpuSeconds() - before;
        pictures += static_cast<double>(host->stats(0).pictures);
        tickToScreen += host->stats(0).tickToScreenSeconds;
        ticks += static_cast<double>(host->stats(0).ticks);
        tickTime += host->stats(0).tickSeconds;
        unlink(expandTilde("~/.tolvera/away_state.json").c_str());
    }
    double runs = static_cast<double>(state.iterations());
    state.counters["pictures_per_s"] = pictures / (runs * seconds);
    state.counters["share_of_core_pct"] = 100 * cpu / (runs * seconds);
    state.counters["tick_to_screen_ms"] = pictures > 0 ? 1000 * tickToScreen / pictures : 0;
    state.counters["tick_ms"] = ticks > 0 ? 1000 * tickTime / ticks : 0;
    state.SetLabel(std::string(busy ? "busy" : "resting") + (gpu ? ", gpu window" : ", cairo"));
}
BENCHMARK(BM_X11SaverMinute)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace floodmark
