#include "FloodmarkSaver/feed/SharedFloodmarkFeed.h"

#include <benchmark/benchmark.h>

namespace floodmark {
namespace {

constexpr double t0 = 1'800'000'000;
constexpr double tick = 1.0 / 30;

// A feed with no away-state file and no socket: the water rests but every step still
// arbitrates, reads the (missing) file and formats the clock.
FloodmarkFeed::Settings restingSettings() {
    return {.statePath = "/nonexistent/away_state.json",
            .socketPath = "/nonexistent/live.sock",
            .calibrationPath = "/nonexistent/calibration.json"};
}

// One feed step with a few ripples and a pop alive, as during busy work.
void BM_FeedStep(benchmark::State& state) {
    FloodmarkFeed feed(restingSettings(), t0);
    double now = t0;
    for (auto _ : state) {
        now += tick;
        if (static_cast<long long>(now * 30) % 20 == 0) {
            feed.spawnImpulse(ImpulseKind::failure, now);
            feed.spawnImpulse(ImpulseKind::sessionEnd, now);
        }
        benchmark::DoNotOptimize(feed.step(now, false));
    }
}
BENCHMARK(BM_FeedStep);

// Four views ticking together: one lease steps the feed, three reuse its frame.
void BM_LeaseStepFourLeases(benchmark::State& state) {
    auto share = SharedFloodmarkFeed::make(
        false, [] { return std::make_shared<FloodmarkFeed>(restingSettings(), t0); });
    std::vector<std::unique_ptr<FloodmarkFeedLease>> leases;
    for (int i = 0; i < 4; ++i) {
        leases.push_back(share->acquire());
    }
    double now = t0;
    for (auto _ : state) {
        now += tick;
        for (auto& lease : leases) {
            benchmark::DoNotOptimize(lease->step(now, false, true));
        }
    }
    state.SetItemsProcessed(state.iterations() * 4);
}
BENCHMARK(BM_LeaseStepFourLeases);

}  // namespace
}  // namespace floodmark
