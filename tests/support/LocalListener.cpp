#include "support/LocalListener.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace floodmark::fixtures {

LocalListener::LocalListener(const std::string& path, bool stuck) {
    mkdir(path.substr(0, path.rfind('/')).c_str(), 0700);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    descriptor_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bind(descriptor_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(descriptor_, stuck ? 0 : 8);
    // A non-blocking connect fails at once, rather than wait, once the backlog is full.
    for (int filled = 0; stuck && filled < 64; ++filled) {
        int client = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(client);
            break;
        }
        fillers_.push_back(client);
    }
}

LocalListener::~LocalListener() {
    for (int client : fillers_) {
        close(client);
    }
    close(descriptor_);
}

std::string LocalListener::firstLine() {
    pollfd ready{descriptor_, POLLIN, 0};
    if (poll(&ready, 1, 2000) != 1) {
        return "";
    }
    int client = accept(descriptor_, nullptr, nullptr);
    std::string line;
    char byte;
    while (read(client, &byte, 1) == 1 && byte != '\n') {
        line += byte;
    }
    close(client);
    return line;
}

}  // namespace floodmark::fixtures
