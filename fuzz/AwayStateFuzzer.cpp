// The companion's away-state file with its internet date-times.
#include "FloodmarkSaver/paired/PairedState.h"
#include "platform/kit/InternetTime.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)floodmark::PairedState::fromText(text, 1.8e9);
    if (auto time = floodmark::parseInternetTime(text)) {
        (void)floodmark::formatInternetTime(*time);
    }
    return 0;
}
