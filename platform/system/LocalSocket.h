#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <sys/un.h>

namespace floodmark {

// A client of a local stream socket that never waits on a peer longer than it was told: a
// listener that is stopped or never accepts must not hold up whoever asks.
class LocalSocket {
public:
    enum class Reach {
        connected,
        nothingListens,  // no socket file there, or nobody accepts on it
        noAnswer,        // something is there but did not take the connection in time
    };

    LocalSocket() = default;
    ~LocalSocket();
    LocalSocket(LocalSocket&& other) noexcept;
    LocalSocket& operator=(LocalSocket&& other) noexcept;
    LocalSocket(const LocalSocket&) = delete;
    LocalSocket& operator=(const LocalSocket&) = delete;

    // Tries for at most `timeoutSeconds`; 0 tries once. On `connected` this socket holds the
    // connection.
    Reach connect(const std::string& path, double timeoutSeconds);
    // Writes all of `bytes`, waiting at most `timeoutSeconds` for room; false on any failure.
    bool sendAll(std::string_view bytes, double timeoutSeconds);

    // Whether the peer has read everything sent so far, waiting at most `timeoutSeconds` for
    // it (Linux counts a stream socket's unread bytes against the sender: SIOCOUTQ). A peer that
    // accepts and never reads is told from one that took the line.
    bool waitUntilRead(double timeoutSeconds);

    // The address of a socket path; absent when the path does not fit the structure.
    static std::optional<sockaddr_un> address(const std::string& path);

private:
    void close();

    int descriptor_ = -1;
};

}  // namespace floodmark
