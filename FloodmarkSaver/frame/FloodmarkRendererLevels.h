#pragma once

namespace floodmark {

struct FloodmarkRendererLevels {
    // The level at which the water rests when nothing drives it.
    static constexpr double ambientResting = 0.07;
};

}  // namespace floodmark
