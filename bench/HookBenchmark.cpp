// `floodmark hook` wall time per call, as an agent sees it on every tool call: with a saver
// listening and with none (the signal is then held in the replay file).
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
#include <cstdlib>
#include <cstring>
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
    if (pipe(input) != 0) return;
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

// A saver's socket that takes every line and forgets it.
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
                char chunk[4096];
                while (client >= 0 && read(client, chunk, sizeof chunk) > 0) {
                }
                if (client >= 0) close(client);
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

void BM_HookCall(benchmark::State& state) {
    char pattern[] = "/tmp/floodmark-hook-bench-XXXXXX";
    std::string home = mkdtemp(pattern);
    std::unique_ptr<Sink> sink;
    if (state.range(0) == 1) {
        sink = std::make_unique<Sink>(home);
    }
    std::vector<double> milliseconds;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        runHook(home);
        milliseconds.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    auto at = [&](double share) {
        return milliseconds[static_cast<std::size_t>(share * (milliseconds.size() - 1))];
    };
    state.counters["p50_ms"] = at(0.5);
    state.counters["p99_ms"] = at(0.99);
    sink.reset();
    std::system(("rm -rf " + home).c_str());
}
// 1: a saver listens; 0: none does, so every call holds its signal.
BENCHMARK(BM_HookCall)->Arg(1)->Arg(0)->Iterations(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
