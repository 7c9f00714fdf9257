#pragma once

#include "FloodmarkSaver/frame/FloodmarkFrame.h"
#include "platform/draw/CairoCanvas.h"

namespace floodmark {

// Draws the frame's standard scene with the GPU renderer into `canvas`, replacing its
// pixels. False, with the canvas untouched, when there is no GPU or the draw did not present.
bool drawSceneOnGpu(const FloodmarkFrame& frame, CairoCanvas& canvas);

}  // namespace floodmark
