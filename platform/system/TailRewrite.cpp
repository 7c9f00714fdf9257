#include "platform/system/TailRewrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace floodmark {

namespace {

bool readAt(int descriptor, std::string& bytes, off_t offset) {
    return pread(descriptor, bytes.data(), bytes.size(), offset) ==
           static_cast<ssize_t>(bytes.size());
}

}  // namespace

bool rewriteTail(const std::string& path, std::string_view head, std::string_view tail,
                 const std::function<std::string(char before)>& replacement, std::size_t maxBytes) {
    int descriptor = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0) {
        return false;
    }
    struct stat file {};
    std::string start(head.size(), '\0');
    std::string end(tail.size() + 1, '\0');
    bool shaped = fstat(descriptor, &file) == 0 && S_ISREG(file.st_mode) &&
                  static_cast<std::size_t>(file.st_size) >= head.size() + tail.size() &&
                  static_cast<std::size_t>(file.st_size) > tail.size() &&
                  readAt(descriptor, start, 0) && start == head &&
                  readAt(descriptor, end, file.st_size - static_cast<off_t>(end.size())) &&
                  std::string_view(end).substr(1) == tail;
    bool written = false;
    if (shaped) {
        std::string bytes = replacement(end.front());
        std::size_t size = static_cast<std::size_t>(file.st_size) - tail.size() + bytes.size();
        off_t at = file.st_size - static_cast<off_t>(tail.size());
        written = size <= maxBytes && pwrite(descriptor, bytes.data(), bytes.size(), at) ==
                                          static_cast<ssize_t>(bytes.size());
        if (!written && size <= maxBytes) {
            // Cut short (a full disk, a file size limit): the old end goes back over the part
            // written, into blocks the file already had, and the file is as it was.
            if (pwrite(descriptor, tail.data(), tail.size(), at) ==
                static_cast<ssize_t>(tail.size())) {
                (void)!ftruncate(descriptor, file.st_size);
            }
        }
    }
    close(descriptor);
    return written;
}

}  // namespace floodmark
