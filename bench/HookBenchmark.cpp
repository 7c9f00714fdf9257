// `floodmark hook` wall time per call, as an agent sees it on every tool call: with a saver
// listening, with none (the signal is then held in the replay file), and with none and the
// held file at its size cap; one call at a time and sixteen at once.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr std::string_view payload =
    R"({"session_id":"bench-1","hook_event_name":"PreToolUse","tool_name":"Bash",)"
    R"("tool_input":{"command":"make"},"cwd":"/tmp"})";

// One hook call: the payload on standard input, the answer awaited.
void runHook(const std::string& home) {
    int input[2];
    if (pipe(input) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, input[1]);
    std::string homeVariable = "HOME=" + home;
    std::vector<char*> environment{homeVariable.data(), nullptr};
    char* argv[] = {const_cast<char*>(FLOODMARK_BINARY), const_cast<char*>("hook"),
                    const_cast<char*>("--from"), const_cast<char*>("claude-code"), nullptr};
    pid_t child = -1;
    posix_spawn(&child, FLOODMARK_BINARY, &actions, nullptr, argv, environment.data());
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    (void)!write(input[1], payload.data(), payload.size());
    close(input[1]);
    waitpid(child, nullptr, 0);
}

// A saver's socket that takes every line at once and forgets it.
class Sink {
public:
    explicit Sink(const std::string& home) {
        mkdir((home + "/.tolvera").c_str(), 0700);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::string path = home + "/.tolvera/live.sock";
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 64);
        thread_ = std::thread([this] {
            while (!stopping_) {
                int client = accept(listener_, nullptr, nullptr);
                if (client < 0)
                    continue;
                // Each client read at once, as the saver's bus reads all of them.
                std::thread([client] {
                    char chunk[4096];
                    while (read(client, chunk, sizeof chunk) > 0) {
                    }
                    close(client);
                }).detach();
            }
        });
    }
    ~Sink() {
        stopping_ = true;
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(listener_);
    }

private:
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

enum Mode { listening = 0, noSaver = 1, fullFile = 2 };

// A held file just under its 3 MiB cap, of signals a minute old: the next holds overflow it.
void fillHeldFile(const std::string& home) {
    mkdir((home + "/.tolvera").c_str(), 0700);
    long long atMs = static_cast<long long>(std::time(nullptr) - 60) * 1000;
    std::string file = R"({"schema":1,"signals":[)";
    for (int index = 0; file.size() < (3u << 20) - 400; ++index) {
        if (index > 0)
            file += ',';
        file += R"({"event":"tool_call","tool":"agent","session":"s)" + std::to_string(index) +
                R"(","at":)" + std::to_string(atMs) + "}";
    }
    file += "]}\n";
    FILE* out = std::fopen((home + "/.tolvera/l.replay.json").c_str(), "w");
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);
}

double millisecondsOf(const std::string& home) {
    auto start = std::chrono::steady_clock::now();
    runHook(home);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void BM_HookCall(benchmark::State& state) {
    char pattern[] = "/tmp/floodmark-hook-bench-XXXXXX";
    std::string home = mkdtemp(pattern);
    auto mode = static_cast<Mode>(state.range(0));
    auto atOnce = static_cast<std::size_t>(state.range(1));
    std::unique_ptr<Sink> sink;
    if (mode == listening) {
        sink = std::make_unique<Sink>(home);
    } else if (mode == fullFile) {
        fillHeldFile(home);
    }
    std::vector<double> milliseconds;
    for (auto _ : state) {
        std::vector<double> round(atOnce);
        std::vector<std::thread> calls;
        for (std::size_t index = 0; index < atOnce; ++index) {
            calls.emplace_back([&, index] { round[index] = millisecondsOf(home); });
        }
        for (auto& call : calls)
            call.join();
        milliseconds.insert(milliseconds.end(), round.begin(), round.end());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    auto at = [&](double share) {
        return milliseconds[static_cast<std::size_t>(share * (milliseconds.size() - 1))];
    };
    state.counters["p50_ms"] = at(0.5);
    state.counters["p99_ms"] = at(0.99);
    state.counters["max_ms"] = milliseconds.back();
    sink.reset();
    std::system(("rm -rf " + home).c_str());
}
// {mode, calls at once}: 1000 calls one at a time, 100 rounds of sixteen at once.
BENCHMARK(BM_HookCall)
    ->Args({listening, 1})
    ->Args({noSaver, 1})
    ->Args({fullFile, 1})
    ->Iterations(1000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_HookCall)
    ->Args({listening, 16})
    ->Args({noSaver, 16})
    ->Args({fullFile, 16})
    ->Iterations(100)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
