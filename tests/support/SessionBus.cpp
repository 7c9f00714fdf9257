#include "support/SessionBus.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace floodmark::fixtures {

SessionBus::SessionBus() {
    launch("");
}

bool SessionBus::restart() {
    std::string address = address_;
    end();
    address_.clear();
    return launch(address);
}

// The daemon prints its address once it listens.
bool SessionBus::launch(const std::string& address) {
    int ends[2];
    if (pipe(ends) != 0) {
        return false;
    }
    std::vector<std::string> command{"dbus-daemon", "--session", "--nofork", "--print-address=1"};
    if (!address.empty()) {
        command.push_back("--address=" + address);
    }
    pid_ = spawnProcess(command, {}, ends[1]);
    close(ends[1]);
    FILE* output = fdopen(ends[0], "r");
    char line[512] = {};
    if (output == nullptr) {
        close(ends[0]);
        return false;
    }
    if (std::fgets(line, sizeof line, output) != nullptr) {
        // Without the daemon's guid, as a desktop's address is: a client that checked it would
        // refuse the bus after a restart.
        address_ = std::string(line, std::min(std::strcspn(line, "\n"), std::strcspn(line, ",")));
    }
    std::fclose(output);
    return running();
}

}  // namespace floodmark::fixtures
