#pragma once

#include "FloodmarkSaver/live/LiveSignal.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace floodmark {

// The local server on which agent hooks deliver signal lines: one Unix-domain stream socket,
// any number of clients of this user or root, one line per JSON object. The bus runs on a thread of
// its own, its serial queue: every callback is made there, in line order.
class LiveBus {
public:
    using SignalHandler = std::function<void(const LiveSignal&)>;
    // A ping with its session, or an unknown event with none.
    using OtherHandler = std::function<void(const std::optional<std::string>&)>;

    // Socket paths longer than this do not fit the address structure on every platform.
    static constexpr std::size_t maxPathBytes = 103;
    // A client's unfinished line is never kept longer than this; the rest of it is discarded.
    static constexpr std::size_t maxLineBytes = 1 << 20;
    static constexpr std::size_t readChunkBytes = 4096;
    // At most this many clients at once; a new one closes the one heard from longest ago.
    // Fewer when the descriptor limit is low: the bus leaves the saver descriptorReserve
    // descriptors beyond those open when it starts, for its own files.
    static constexpr std::size_t maxClients = 256;
    static constexpr std::size_t descriptorReserve = 16;
    // Unfinished lines of all clients together; past it the client with the longest is closed.
    static constexpr std::size_t maxUnfinishedBytes = 16 << 20;

    LiveBus(std::string path, OtherHandler onOther, SignalHandler onSignal);
    // Stops as stop() does, then ends the queue's thread. Never destroy a bus from its callbacks.
    ~LiveBus();
    LiveBus(const LiveBus&) = delete;
    LiveBus& operator=(const LiveBus&) = delete;

    // True when listening afterwards. Refuses (false) when another process answers on the
    // path, when something other than a stale socket is there, or when the socket cannot be
    // made. Never deletes anything but a stale socket.
    bool start();
    // Drops every client and the listener and removes the socket file. Waits for the queue;
    // once it returns, no callback runs again. Call it from the owner's thread.
    void stop();

    const std::string& path() const { return path_; }
    // The client bound for a descriptor limit and the descriptors open besides the bus's
    // clients: at least one client, so that a hook is always heard.
    static std::size_t clientBoundFor(std::size_t descriptorLimit, std::size_t openDescriptors);
    // Clients closed to keep the bounds since the last call; any thread.
    long long takeEvictedClients();
    // Peers of other users closed unheard since the last call; any thread.
    long long takeRefusedPeers();
    // Signals dropped for names past LiveSignal::maxTextBytes since the last call; any thread.
    long long takeOverlongLines();

    static bool somethingListens(const std::string& path);
    // Queue threads this process has started, for diagnostics and tests.
    static long long threadsStarted();
    static std::string defaultSocketPath(std::string_view home);
    // The socket of the current user's home directory, computed once.
    static const std::string& defaultPath();

private:
    struct Core;
    struct Queue;

    // Runs `work` on the queue and waits for its result.
    template <typename Work>
    auto runOnQueue(Work work);

    std::string path_;
    std::unique_ptr<Queue> queue_;
    std::shared_ptr<Core> core_;
};

}  // namespace floodmark
