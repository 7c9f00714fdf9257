#pragma once

#include <string>

namespace floodmark::fixtures {

// A client of a Unix-domain stream socket, as an agent hook is one.
class SocketClient {
public:
    explicit SocketClient(const std::string& path);
    ~SocketClient();
    SocketClient(const SocketClient&) = delete;
    SocketClient& operator=(const SocketClient&) = delete;

    bool connected() const { return descriptor_ >= 0; }
    // Writes every byte; false once the server has gone.
    bool write(const std::string& bytes);
    void close();

private:
    int descriptor_ = -1;
};

// Leaves a socket file at `path` with nothing listening, as a crashed server does.
void leaveStaleSocket(const std::string& path);

}  // namespace floodmark::fixtures
