#pragma once

#include <string_view>

namespace floodmark::FloodmarkShader {

// One triangle that covers the viewport, with no vertex buffer.
extern const std::string_view vertexSource;
// The standard scene, per pixel: canvas, glow, water body, surface glow, runs and marks, with
// analytic anti-aliasing from each pixel's distance to the surface and to the marks.
extern const std::string_view fragmentSource;

}  // namespace floodmark::FloodmarkShader
