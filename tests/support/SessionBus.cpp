#include "support/SessionBus.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace floodmark::fixtures {

SessionBus::SessionBus() {
    int ends[2];
    if (pipe(ends) != 0) {
        return;
    }
    pid_ = spawnProcess({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, {}, ends[1]);
    close(ends[1]);
    FILE* output = fdopen(ends[0], "r");
    char line[512] = {};
    if (output == nullptr) {
        close(ends[0]);
        return;
    }
    if (std::fgets(line, sizeof line, output) != nullptr) {
        address_ = std::string(line, std::strcspn(line, "\n"));
    }
    std::fclose(output);
}

}  // namespace floodmark::fixtures
