#pragma once

#include "platform/gl/GpuDevice.h"

#include <string_view>

namespace floodmark::app {

// --cpu (Cairo only) and --gpu (the GPU even when it is a software rasteriser), as every
// command that draws takes them. True when `word` was one of them.
inline bool readGpuChoice(std::string_view word, GpuPolicy& policy) {
    if (word == "--cpu") {
        policy = GpuPolicy::off;
    } else if (word == "--gpu") {
        policy = GpuPolicy::forced;
    } else {
        return false;
    }
    return true;
}

}  // namespace floodmark::app
