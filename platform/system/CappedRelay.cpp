#include "platform/system/CappedRelay.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace floodmark {

namespace {

// Room for what a writer sends between two drains.
constexpr int pipeBytes = 1 << 20;

void writeAll(int descriptor, const char* bytes, std::size_t size) {
    while (size > 0) {
        ssize_t written = write(descriptor, bytes, size);
        if (written <= 0) {
            return;  // standard error gone: nothing to tell
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

}  // namespace

CappedRelay::CappedRelay(std::size_t budget, double window) : budget_(budget), window_(window) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return;
    }
    read_ = ends[0];
    write_ = ends[1];
    fcntl(read_, F_SETFL, O_NONBLOCK);
    fcntl(read_, F_SETPIPE_SZ, pipeBytes);
}

CappedRelay::~CappedRelay() {
    if (read_ >= 0) {
        close(read_);
        close(write_);
    }
}

void CappedRelay::drain(double now) {
    if (read_ < 0) {
        return;
    }
    if (now - windowStart_ >= window_ || now < windowStart_) {
        windowStart_ = now;
        passed_ = 0;
        saidLeftOut_ = false;
    }
    // At most a few pipes' worth a call: a writer as fast as the reader cannot hold it here.
    char chunk[1 << 16];
    ssize_t got = 0;
    for (std::size_t taken = 0;
         taken < 4 * pipeBytes && (got = read(read_, chunk, sizeof chunk)) > 0;
         taken += static_cast<std::size_t>(got)) {
        auto size = static_cast<std::size_t>(got);
        std::size_t pass = std::min(size, budget_ - passed_);
        writeAll(STDERR_FILENO, chunk, pass);
        passed_ += pass;
        if (pass < size && !saidLeftOut_) {
            saidLeftOut_ = true;
            char note[160];
            std::snprintf(note, sizeof note,
                          "\nfloodmark idle: the saver's messages pass at most %zu KiB every "
                          "%g s; the rest is left out\n",
                          budget_ >> 10, window_);
            writeAll(STDERR_FILENO, note, std::char_traits<char>::length(note));
        }
    }
}

}  // namespace floodmark
