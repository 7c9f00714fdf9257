#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/live/LiveBus.h"
#include "FloodmarkSaver/live/LiveDemandAggregator.h"
#include "FloodmarkSaver/live/LiveLine.h"

#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace floodmark {
namespace {

using Clock = std::chrono::steady_clock;

// A typical hook line of about 150 bytes.
const std::string typicalLine =
    R"({"event":"tool_call","tool":"claude-code","session":"7f3c2a9e-51d4-4c1b-9a8e-2b6f0d3e1c47",)"
    R"("pid":48213,"sizeBucket":"m","backgroundTasks":0})";

void BM_ClassifyLine(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(LiveLine::classify(typicalLine));
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["bytes"] = static_cast<double>(typicalLine.size());
}
BENCHMARK(BM_ClassifyLine);

// Hostile JSON as a hook or a socket peer may send it, refused within the bounds: 16 MiB of
// '[' (0), 5 M balanced nested arrays (1), 16 MiB of a flat array of zeros (2).
void BM_ParseHostileJson(benchmark::State& state) {
    std::string text;
    switch (state.range(0)) {
        case 0:
            text.assign(16 << 20, '[');
            break;
        case 1:
            text = std::string(5000000, '[') + std::string(5000000, ']');
            break;
        default:
            text = "[0";
            while (text.size() < (16 << 20) - 3)
                text += ",0";
            text += "]";
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseJsonText(text));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ParseHostileJson)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

int connectTo(const std::string& path) {
    int descriptor = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    connect(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return descriptor;
}

void writeAll(int descriptor, const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        ssize_t count = send(descriptor, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) {
            return;
        }
        sent += static_cast<size_t>(count);
    }
}

struct BenchDirectory {
    BenchDirectory() {
        std::string pattern = "/tmp/fmb.XXXXXX";
        path = mkdtemp(pattern.data());
    }
    ~BenchDirectory() { rmdir(path.c_str()); }
    std::string path;
};

// Eight clients write 50,000 lines each as fast as they can; lines per second delivered.
void BM_BusThroughput(benchmark::State& state) {
    constexpr int clients = 8;
    constexpr int linesPerClient = 50'000;
    BenchDirectory directory;
    std::string path = directory.path + "/live.sock";
    std::string batch;
    for (int i = 0; i < 100; ++i) {
        batch += typicalLine + "\n";
    }
    for (auto _ : state) {
        std::atomic<long> delivered = 0;
        LiveBus bus(path, nullptr, [&](const LiveSignal&) { ++delivered; });
        bus.start();
        auto begin = Clock::now();
        std::vector<std::thread> writers;
        for (int c = 0; c < clients; ++c) {
            writers.emplace_back([&] {
                int descriptor = connectTo(path);
                for (int sent = 0; sent < linesPerClient; sent += 100) {
                    writeAll(descriptor, batch);
                }
                close(descriptor);
            });
        }
        for (auto& writer : writers) {
            writer.join();
        }
        while (delivered < long{clients} * linesPerClient) {
            std::this_thread::yield();
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - begin).count());
        bus.stop();
    }
    state.SetItemsProcessed(state.iterations() * clients * linesPerClient);
}
BENCHMARK(BM_BusThroughput)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// One client writes 1,000 lines a second; the delay from write to callback, 99th percentile.
void BM_BusDelayAt1000LinesPerSecond(benchmark::State& state) {
    constexpr int lines = 2000;
    BenchDirectory directory;
    std::string path = directory.path + "/live.sock";
    for (auto _ : state) {
        std::mutex mutex;
        std::vector<double> delays;
        delays.reserve(lines);
        LiveBus bus(path, nullptr, [&](const LiveSignal& signal) {
            auto sentAt = Clock::time_point(Clock::duration(std::stoll(*signal.sizeBucket)));
            std::lock_guard lock(mutex);
            delays.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - sentAt).count());
        });
        bus.start();
        int descriptor = connectTo(path);
        auto next = Clock::now();
        for (int i = 0; i < lines; ++i) {
            std::this_thread::sleep_until(next);
            next += std::chrono::milliseconds(1);
            std::string line =
                R"({"event":"tool_call","tool":"agent","session":"s1","sizeBucket":")" +
                std::to_string(Clock::now().time_since_epoch().count()) + "\"}\n";
            writeAll(descriptor, line);
        }
        while (true) {
            std::lock_guard lock(mutex);
            if (delays.size() == lines) {
                break;
            }
        }
        close(descriptor);
        bus.stop();
        std::sort(delays.begin(), delays.end());
        state.counters["p50_us"] = delays[lines / 2];
        state.counters["p99_us"] = delays[lines * 99 / 100];
    }
}
BENCHMARK(BM_BusDelayAt1000LinesPerSecond)->Iterations(1)->Unit(benchmark::kMillisecond);

// An aggregator tick with 1,000 live sessions.
void BM_AggregatorTick1000Sessions(benchmark::State& state) {
    LiveDemandAggregator aggregator;
    const double now = 1'700'000'000;
    for (int i = 0; i < 1000; ++i) {
        // Formatted into a buffer: GCC 12 at -O3 warns falsely about "s" + std::to_string(i).
        char session[24];
        std::snprintf(session, sizeof session, "s%d", i);
        aggregator.ingest(
            LiveSignal{.tool = "agent", .session = session, .event = LiveEvent::promptSubmitted},
            now);
    }
    for (auto _ : state) {
        // No time passes, so every session stays alive however long the benchmark runs.
        benchmark::DoNotOptimize(aggregator.tick(now, 0));
    }
    state.counters["sessions"] = static_cast<double>(aggregator.activeSessionCount());
}
BENCHMARK(BM_AggregatorTick1000Sessions)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace floodmark
