// One line from a socket client: classified as a signal, a ping, an unknown event or nothing.
#include "FloodmarkSaver/live/LiveLine.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto line =
        floodmark::LiveLine::classify(std::string_view(reinterpret_cast<const char*>(data), size));
    if (line.signal) {
        (void)line.signal->streamKey();
        (void)line.signal->resumeHoldUntil(1.8e9);
    }
    return 0;
}
