#pragma once

#include "platform/draw/CairoCanvas.h"

#include <cstdint>

namespace floodmark {

// A Cairo picture laid over what the GPU drew: uploaded into a texture when it changes, and
// blended over the whole drawable with one textured triangle pair (premultiplied alpha, as
// Cairo keeps its pixels). Needs the device's context current.
class GpuOverlay {
public:
    GpuOverlay() = default;
    ~GpuOverlay();
    GpuOverlay(const GpuOverlay&) = delete;
    GpuOverlay& operator=(const GpuOverlay&) = delete;

    // Uploads `picture` when `version` differs from the one uploaded, then blends it.
    bool draw(const CairoCanvas& picture, std::uint64_t version);

private:
    bool prepare();

    unsigned program_ = 0;
    unsigned texture_ = 0;
    unsigned vertexArray_ = 0;
    std::uint64_t uploadedVersion_ = 0;
    bool uploaded_ = false;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace floodmark
