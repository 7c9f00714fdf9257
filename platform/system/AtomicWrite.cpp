#include "platform/system/AtomicWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace floodmark {

namespace {

bool writeAll(int descriptor, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t count = write(descriptor, bytes.data(), bytes.size());
        if (count < 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(count));
    }
    return true;
}

}  // namespace

bool writeFileAtomically(const std::string& path, std::string_view bytes, bool durable) {
    std::string temporary = path + ".XXXXXX";
    int descriptor = mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    bool written = writeAll(descriptor, bytes) && fchmod(descriptor, 0644) == 0 &&
                   (!durable || fsync(descriptor) == 0);
    written = close(descriptor) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace floodmark
