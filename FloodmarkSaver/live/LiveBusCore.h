#pragma once

// The bus's state on its queue; only LiveBus and its own file see it.
#include "FloodmarkSaver/live/LiveBus.h"

#include <sys/stat.h>
#include <sys/un.h>
#include <asio.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace floodmark {

// Everything the queue touches. Only ever used on the queue's thread; handlers hold it so that
// their completions stay safe after the bus is gone.
struct LiveBus::Core : std::enable_shared_from_this<LiveBus::Core> {
    struct Client {
        explicit Client(asio::local::stream_protocol::socket connected)
            : socket(std::move(connected)) {}
        asio::local::stream_protocol::socket socket;
        std::string buffer;       // bytes of the unfinished line
        bool discarding = false;  // inside an over-long line, until its line feed
        std::chrono::steady_clock::time_point lastHeard = std::chrono::steady_clock::now();
        std::array<char, readChunkBytes> chunk{};
    };

    Core(asio::io_context& io, std::string path, OtherHandler onOther, SignalHandler onSignal)
        : io(io),
          path(std::move(path)),
          onOther(std::move(onOther)),
          onSignal(std::move(onSignal)),
          backoff(io) {}

    // The socket's address; absent for a path too long for every platform.
    static std::optional<sockaddr_un> addressOf(const std::string& path);

    bool start();
    void stop();
    void acceptNext();
    void readNext(std::uint64_t id, std::shared_ptr<Client> client);
    void consume(Client& client, std::string_view bytes);
    void deliver(std::string_view line);
    // Closes a client and lets go of its unfinished line; nothing when it is gone already.
    void forget(std::uint64_t id);
    // A client closed to keep the bounds, counted for the status file.
    void evict(std::uint64_t id);
    void makeRoomForClient();
    void boundUnfinishedLines();

    asio::io_context& io;
    const std::string path;
    const OtherHandler onOther;
    const SignalHandler onSignal;
    std::optional<asio::local::stream_protocol::acceptor> acceptor;
    asio::steady_timer backoff;
    std::unordered_map<std::uint64_t, std::shared_ptr<Client>> clients;
    std::uint64_t nextClientId = 0;
    std::size_t clientBound = maxClients;  // set at each start
    std::size_t unfinishedBytes = 0;       // of every client's unfinished line together
    std::atomic<long long> evictedClients{0};
    std::atomic<long long> refusedPeers{0};
    std::atomic<long long> overlongLines{0};
    // Each stop begins a new generation; completions of an older one do nothing.
    std::uint64_t generation = 0;
    struct stat socketFile {};
};

}  // namespace floodmark
