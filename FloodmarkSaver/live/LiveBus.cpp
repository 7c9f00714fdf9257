#include "FloodmarkSaver/live/LiveBus.h"

#include "FloodmarkSaver/live/LiveLine.h"
#include "platform/system/Descriptors.h"
#include "platform/system/Files.h"
#include "platform/system/HomeDirectory.h"
#include "platform/system/LocalSocket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <asio.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <unordered_map>

namespace floodmark {

namespace {

using Protocol = asio::local::stream_protocol;

// How long the listener rests after a failed accept (for example out of descriptors), so that
// a listening socket that stays readable does not spin the queue.
constexpr auto acceptBackoff = std::chrono::milliseconds(100);

std::optional<sockaddr_un> socketAddress(const std::string& path) {
    if (path.size() > LiveBus::maxPathBytes) {
        return std::nullopt;
    }
    return LocalSocket::address(path);
}

// A listener that is stopped or never accepts still owns its socket; asking must not wait on
// it for longer than this.
constexpr double probeTimeout = 0.05;

// Other local users may reach the socket through a readable home directory; only this user's
// agents are heard.
bool peerIsThisUser(int descriptor) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    return getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
           credentials.uid == geteuid();
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

// Everything the queue touches. Only ever used on the queue's thread; handlers hold it so that
// their completions stay safe after the bus is gone.
struct LiveBus::Core : std::enable_shared_from_this<LiveBus::Core> {
    struct Client {
        explicit Client(Protocol::socket connected) : socket(std::move(connected)) {}
        Protocol::socket socket;
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
    std::optional<Protocol::acceptor> acceptor;
    asio::steady_timer backoff;
    std::unordered_map<std::uint64_t, std::shared_ptr<Client>> clients;
    std::uint64_t nextClientId = 0;
    std::size_t clientBound = maxClients;  // set at each start
    std::size_t unfinishedBytes = 0;       // of every client's unfinished line together
    std::atomic<long long> evictedClients{0};
    // Each stop begins a new generation; completions of an older one do nothing.
    std::uint64_t generation = 0;
    struct stat socketFile {};
};

bool LiveBus::Core::start() {
    if (acceptor) {
        return true;
    }
    auto address = socketAddress(path);
    if (!address) {
        return false;
    }
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0) {
        // Only a stale socket is ever removed: a live one belongs to another process, and any
        // other file belongs to the user.
        if (!S_ISSOCK(existing.st_mode) || somethingListens(path)) {
            return false;
        }
        unlink(path.c_str());
    } else {
        createDirectories(parentDirectory(path), 0700);
    }

    int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        return false;
    }
    if (bind(descriptor, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        close(descriptor);
        return false;
    }
    if (listen(descriptor, 8) != 0 || chmod(path.c_str(), 0600) != 0 ||
        stat(path.c_str(), &socketFile) != 0) {
        close(descriptor);
        unlink(path.c_str());
        return false;
    }
    asio::error_code error;
    acceptor.emplace(io);
    acceptor->assign(Protocol(), descriptor, error);
    if (error) {
        acceptor.reset();
        close(descriptor);
        unlink(path.c_str());
        return false;
    }
    clientBound = clientBoundFor(descriptorLimit(), openDescriptorCount());
    acceptNext();
    return true;
}

void LiveBus::Core::stop() {
    ++generation;
    backoff.cancel();
    for (auto& [id, client] : clients) {
        asio::error_code ignored;
        client->socket.close(ignored);
    }
    clients.clear();
    unfinishedBytes = 0;
    if (acceptor) {
        asio::error_code ignored;
        acceptor->close(ignored);
        acceptor.reset();
        // The path may meanwhile hold another process's socket; remove only our own.
        struct stat current {};
        if (lstat(path.c_str(), &current) == 0 && sameFile(current, socketFile)) {
            unlink(path.c_str());
        }
    }
}

void LiveBus::Core::acceptNext() {
    acceptor->async_accept([self = shared_from_this(), generation = generation](
                               asio::error_code error, Protocol::socket socket) {
        if (generation != self->generation) {
            return;
        }
        if (error) {
            self->backoff.expires_after(acceptBackoff);
            self->backoff.async_wait([self, generation](asio::error_code waitError) {
                if (!waitError && generation == self->generation) {
                    self->acceptNext();
                }
            });
            return;
        }
        if (peerIsThisUser(socket.native_handle())) {
            self->makeRoomForClient();
            auto id = self->nextClientId++;
            auto client = std::make_shared<Client>(std::move(socket));
            self->clients.emplace(id, client);
            self->readNext(id, std::move(client));
        }
        self->acceptNext();
    });
}

void LiveBus::Core::readNext(std::uint64_t id, std::shared_ptr<Client> client) {
    Client& reader = *client;
    reader.socket.async_read_some(
        asio::buffer(reader.chunk),
        [self = shared_from_this(), generation = generation, id, client = std::move(client)](
            asio::error_code error, std::size_t count) {
            if (generation != self->generation) {
                return;
            }
            if (error || count == 0) {
                // An unfinished last line goes with the client.
                self->forget(id);
                return;
            }
            client->lastHeard = std::chrono::steady_clock::now();
            std::size_t before = client->buffer.size();
            self->consume(*client, std::string_view(client->chunk.data(), count));
            self->unfinishedBytes = self->unfinishedBytes - before + client->buffer.size();
            self->boundUnfinishedLines();
            self->readNext(id, client);
        });
}

void LiveBus::Core::consume(Client& client, std::string_view bytes) {
    for (auto lineEnd = bytes.find('\n'); lineEnd != std::string_view::npos;
         lineEnd = bytes.find('\n')) {
        std::string_view tail = bytes.substr(0, lineEnd);
        bytes.remove_prefix(lineEnd + 1);
        if (client.discarding) {
            client.discarding = false;
        } else if (client.buffer.empty()) {
            deliver(tail);
        } else if (client.buffer.size() + tail.size() <= maxLineBytes) {
            client.buffer.append(tail);
            deliver(client.buffer);
        }
        client.buffer.clear();
    }
    if (client.discarding) {
        return;
    }
    if (client.buffer.size() + bytes.size() > maxLineBytes) {
        client.buffer.clear();
        client.buffer.shrink_to_fit();
        client.discarding = true;
        return;
    }
    client.buffer.append(bytes);
}

void LiveBus::Core::forget(std::uint64_t id) {
    auto found = clients.find(id);
    if (found == clients.end()) {
        return;
    }
    unfinishedBytes -= found->second->buffer.size();
    asio::error_code ignored;
    found->second->socket.close(ignored);
    clients.erase(found);
}

void LiveBus::Core::evict(std::uint64_t id) {
    forget(id);
    ++evictedClients;
}

// Idle connections must never use up the descriptors that real hooks need: the one heard
// from longest ago makes room.
void LiveBus::Core::makeRoomForClient() {
    while (!clients.empty() && clients.size() >= clientBound) {
        auto idlest = std::min_element(
            clients.begin(), clients.end(),
            [](const auto& a, const auto& b) { return a.second->lastHeard < b.second->lastHeard; });
        evict(idlest->first);
    }
}

void LiveBus::Core::boundUnfinishedLines() {
    while (unfinishedBytes > maxUnfinishedBytes && !clients.empty()) {
        auto longest =
            std::max_element(clients.begin(), clients.end(), [](const auto& a, const auto& b) {
                return a.second->buffer.size() < b.second->buffer.size();
            });
        evict(longest->first);
    }
}

void LiveBus::Core::deliver(std::string_view line) {
    LiveLine classified = LiveLine::classify(line);
    switch (classified.kind) {
        case LiveLine::Kind::signal:
            onSignal(*classified.signal);
            break;
        case LiveLine::Kind::ping:
            if (onOther) {
                onOther(classified.session);
            }
            break;
        case LiveLine::Kind::unknownEvent:
            if (onOther) {
                onOther(std::nullopt);
            }
            break;
        case LiveLine::Kind::ignored:
            break;
    }
}

struct LiveBus::Queue {
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> keepRunning =
        asio::make_work_guard(io);
    std::thread thread;
};

namespace {
std::atomic<long long> queueThreads{0};
}  // namespace

long long LiveBus::threadsStarted() {
    return queueThreads;
}

LiveBus::LiveBus(std::string path, OtherHandler onOther, SignalHandler onSignal)
    : path_(std::move(path)), queue_(std::make_unique<Queue>()) {
    ++queueThreads;
    core_ = std::make_shared<Core>(queue_->io, path_, std::move(onOther), std::move(onSignal));
    queue_->thread = std::thread([&io = queue_->io] {
        // A callback that throws must not end the queue.
        for (;;) {
            try {
                io.run();
                return;
            } catch (...) {
            }
        }
    });
}

LiveBus::~LiveBus() {
    stop();
    core_.reset();
    // With everything closed, the queue drains the last completions and its thread ends.
    queue_->keepRunning.reset();
    queue_->thread.join();
}

template <typename Work>
auto LiveBus::runOnQueue(Work work) {
    if (queue_->io.get_executor().running_in_this_thread()) {
        return work();
    }
    std::packaged_task<decltype(work())()> task(std::move(work));
    auto result = task.get_future();
    asio::post(queue_->io, [&task] { task(); });
    return result.get();
}

bool LiveBus::start() {
    return runOnQueue([core = core_] { return core->start(); });
}

void LiveBus::stop() {
    runOnQueue([core = core_] { core->stop(); });
}

std::size_t LiveBus::clientBoundFor(std::size_t descriptorLimit, std::size_t openDescriptors) {
    std::size_t taken = openDescriptors + descriptorReserve;
    std::size_t free = descriptorLimit > taken ? descriptorLimit - taken : 0;
    return std::clamp<std::size_t>(free, 1, maxClients);
}

long long LiveBus::takeEvictedClients() {
    return core_->evictedClients.exchange(0);
}

bool LiveBus::somethingListens(const std::string& path) {
    if (!socketAddress(path)) {
        return false;
    }
    LocalSocket probe;
    return probe.connect(path, probeTimeout) != LocalSocket::Reach::nothingListens;
}

std::string LiveBus::defaultSocketPath(std::string_view home) {
    // Inside a sandbox container the home directory is the container's own.
    if (home.find("/Library/Containers/") != std::string_view::npos) {
        return std::string(home) + "/l.sock";
    }
    return std::string(home) + "/.tolvera/live.sock";
}

const std::string& LiveBus::defaultPath() {
    static const std::string path = defaultSocketPath(homeDirectory());
    return path;
}

}  // namespace floodmark
