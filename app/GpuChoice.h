#pragma once

#include "platform/gl/GpuDevice.h"

#include <CLI/CLI.hpp>

namespace floodmark::app {

// --cpu (Cairo only) and --gpu (the GPU even when it is a software rasteriser), as every
// command that draws takes them.
inline void addGpuChoice(CLI::App& parser, GpuPolicy& policy) {
    auto* cpu = parser.add_flag_callback(
        "--cpu", [&policy] { policy = GpuPolicy::off; }, "Never draw on the GPU");
    auto* gpu = parser.add_flag_callback(
        "--gpu", [&policy] { policy = GpuPolicy::forced; },
        "Draw on the GPU even when it is a software rasteriser");
    cpu->excludes(gpu);
}

}  // namespace floodmark::app
