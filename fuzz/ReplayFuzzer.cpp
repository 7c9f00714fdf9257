// The held-signal file beside the socket, as any local program may have written it.
#include "FloodmarkSaver/live/HeldSignals.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto held = floodmark::HeldSignals::fromText(
        std::string_view(reinterpret_cast<const char*>(data), size), 1.8e9);
    for (const auto& entry : held) {
        (void)entry.signal.streamKey();
    }
    return 0;
}
