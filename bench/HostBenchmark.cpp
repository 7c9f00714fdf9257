#include "FloodmarkSaver/view/FloodmarkSaverView.h"
#include "platform/headless/HeadlessHost.h"
#include "platform/kit/Time.h"

#include "SaverLoad.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>

namespace floodmark {
namespace {

using bench::processCpuSeconds;

// The saver's feed binds the socket of $HOME: keep it away from the user's.
[[maybe_unused]] const bool isolatedHome = [] {
    std::string pattern = "/tmp/fm-bench.XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
        setenv("HOME", pattern.c_str(), 1);
        unsetenv("XDG_STATE_HOME");
    }
    return true;
}();

// The resting saver at 1920×1080 for 60 seconds of a simulated clock: how many pictures it
// draws a second, and how much processor time one second of saver costs.
void BM_RestingSaverMinute(benchmark::State& state) {
    constexpr double seconds = 60;
    // 0: Cairo; 1: the GPU path, which here is Mesa's llvmpipe on the processor.
    GpuDevice::setPolicy(state.range(0) == 1 ? GpuPolicy::forced : GpuPolicy::off);
    long long pictures = 0;
    double cpu = 0;
    for (auto _ : state) {
        HeadlessHost host({.simulated = true, .startTime = currentTime()},
                          FloodmarkSaverView::make);
        host.addView({.size = {1920, 1080}, .scale = 1});
        double before = processCpuSeconds();
        host.startAll();
        host.run(seconds);
        host.stopAll();
        cpu += processCpuSeconds() - before;
        pictures += host.stats(0).pictures;
    }
    double runs = static_cast<double>(state.iterations());
    state.counters["pictures_per_s"] = static_cast<double>(pictures) / (runs * seconds);
    state.counters["cpu_ms_per_s"] = 1000 * cpu / (runs * seconds);
    state.counters["share_of_core_pct"] = 100 * cpu / (runs * seconds);
    state.SetLabel(state.range(0) == 1 ? "gpu" : "cairo");
    GpuDevice::setPolicy(GpuPolicy::automatic);
}
BENCHMARK(BM_RestingSaverMinute)->DenseRange(0, 1)->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace floodmark
