#pragma once

#include "platform/draw/CairoCanvas.h"

#include <string>

namespace floodmark::fixtures {

struct PictureDifference {
    bool comparable = false;           // both pictures exist and have the same size
    double meanChannelDifference = 0;  // 0…255, over every channel of every pixel
    double shareOfFarPixels = 0;       // pixels with a channel more than 24/255 off
};

// How `canvas` differs from the reviewed picture tests/scene/golden/NAME.png. With
// FLOODMARK_UPDATE_GOLDENS=1 in the environment the picture is written first, for review.
PictureDifference compareWithGolden(const CairoCanvas& canvas, const std::string& name);

PictureDifference compare(const CairoCanvas& canvas, cairo_surface_t* expected);

}  // namespace floodmark::fixtures
