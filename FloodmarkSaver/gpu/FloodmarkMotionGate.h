#pragma once

#include "FloodmarkSaver/frame/FloodmarkFrame.h"
#include "platform/draw/Geometry.h"

#include <optional>

namespace floodmark {

// Lets a frame be drawn only when the picture can have changed by half a pixel since the last
// drawn one: level, surface wave, lit run, size, tint or style.
class FloodmarkMotionGate {
public:
    static constexpr double threshold = 0.5;

    void invalidate() { last_.reset(); }
    bool needsDraw(const FloodmarkFrame& frame, Size points, double scale) const;
    void didDraw(const FloodmarkFrame& frame, Size points, double scale);

private:
    struct Drawn {
        double y;
        double x;
        double time;
        int severity;
        SaverStyle style;
        bool reduceMotion;
        bool hadMarks;
        Size pixels;
    };

    std::optional<Drawn> last_;
};

}  // namespace floodmark
