#include "FloodmarkSaver/feed/SharedFloodmarkFeed.h"
#include "FloodmarkSaver/live/SharedReading.h"
#include "platform/kit/Time.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

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

// What the water of every monitor costs: the owner publishes its reading at most four times a
// second, a follower reads it at most four times a second. The reading's size does not grow
// with the sessions behind it, so 100 active sessions cost what one does. Multiply by 4 for
// the share of a core.
void BM_PublishReading(benchmark::State& state) {
    std::string path = "/tmp/fm-bench-reading." + std::to_string(getpid());
    SharedReading shared;
    shared.reading = {.y = 0.62, .x = 0.41, .awaiting = 3};
    shared.impulseSerial = 12;
    shared.impulse = ImpulseKind::failure;
    for (auto _ : state) {
        shared.at = currentTime();
        benchmark::DoNotOptimize(shared.write(path));
    }
    unlink(path.c_str());
}
BENCHMARK(BM_PublishReading)->Unit(benchmark::kMicrosecond);

void BM_FollowReading(benchmark::State& state) {
    std::string path = "/tmp/fm-bench-reading-follow." + std::to_string(getpid());
    SharedReading shared;
    shared.reading = {.y = 0.62, .x = 0.41, .awaiting = 3};
    shared.at = currentTime();
    shared.write(path);
    for (auto _ : state) {
        benchmark::DoNotOptimize(SharedReading::read(path, shared.at));
    }
    unlink(path.c_str());
}
BENCHMARK(BM_FollowReading)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace floodmark
