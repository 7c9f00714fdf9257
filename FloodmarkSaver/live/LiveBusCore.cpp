#include "FloodmarkSaver/live/LiveBusCore.h"

#include "FloodmarkSaver/live/LiveLine.h"
#include "platform/system/Descriptors.h"
#include "platform/system/Files.h"
#include "platform/system/LocalSocket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace floodmark {

namespace {

using Protocol = asio::local::stream_protocol;

// How long the listener rests after a failed accept (for example out of descriptors), so that
// a listening socket that stays readable does not spin the queue.
constexpr auto acceptBackoff = std::chrono::milliseconds(100);

// Other local users may reach the socket through a readable home directory; only this user's
// agents are heard, and root's (a container's hooks as a rootful Docker runs them): root can
// read and write all that the user owns already, so hearing it opens nothing.
bool peerIsHeard(int descriptor) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    return getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
           (credentials.uid == geteuid() || credentials.uid == 0);
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::optional<sockaddr_un> LiveBus::Core::addressOf(const std::string& path) {
    if (path.size() > LiveBus::maxPathBytes) {
        return std::nullopt;
    }
    return LocalSocket::address(path);
}

bool LiveBus::Core::start() {
    if (acceptor) {
        return true;
    }
    auto address = addressOf(path);
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
        if (peerIsHeard(socket.native_handle())) {
            self->makeRoomForClient();
            auto id = self->nextClientId++;
            auto client = std::make_shared<Client>(std::move(socket));
            self->clients.emplace(id, client);
            self->readNext(id, std::move(client));
        } else {
            ++self->refusedPeers;
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
        case LiveLine::Kind::overlong:
            ++overlongLines;
            break;
        case LiveLine::Kind::ignored:
            break;
    }
}

}  // namespace floodmark
