#include "support/SocketClient.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace floodmark::fixtures {

namespace {

sockaddr_un addressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

}  // namespace

SocketClient::SocketClient(const std::string& path) {
    descriptor_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = addressOf(path);
    if (descriptor_ >= 0 &&
        connect(descriptor_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close();
    }
}

SocketClient::~SocketClient() {
    close();
}

bool SocketClient::write(const std::string& bytes) {
    size_t sent = 0;
    while (connected() && sent < bytes.size()) {
        ssize_t count = send(descriptor_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) {
            return false;
        }
        sent += static_cast<size_t>(count);
    }
    return connected();
}

void SocketClient::close() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
}

void leaveStaleSocket(const std::string& path) {
    int descriptor = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = addressOf(path);
    bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::close(descriptor);
}

}  // namespace floodmark::fixtures
