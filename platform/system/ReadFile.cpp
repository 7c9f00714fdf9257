#include "platform/system/ReadFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace floodmark {

std::optional<std::string> readSmallFile(const std::string& path, std::size_t maxBytes) {
    int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        return std::nullopt;
    }
    std::optional<std::string> content;
    struct stat status {};
    if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<std::size_t>(status.st_size) <= maxBytes) {
        content.emplace();
        char chunk[65536];
        for (;;) {
            ssize_t count = read(descriptor, chunk, sizeof chunk);
            if (count == 0) {
                break;
            }
            // The file may grow while it is read: the cap holds all the same.
            if (count < 0 || content->size() + static_cast<std::size_t>(count) > maxBytes) {
                content.reset();
                break;
            }
            content->append(chunk, static_cast<std::size_t>(count));
        }
    }
    close(descriptor);
    return content;
}

}  // namespace floodmark
