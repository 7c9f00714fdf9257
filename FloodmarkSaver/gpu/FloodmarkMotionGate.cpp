#include "FloodmarkSaver/gpu/FloodmarkMotionGate.h"

#include "FloodmarkSaver/scene/FloodmarkRenderer.h"

#include <cmath>

namespace floodmark {

namespace {
bool hasMarks(const FloodmarkFrame& frame) {
    return !frame.ripples.empty() || !frame.pops.empty();
}
}  // namespace

bool FloodmarkMotionGate::needsDraw(const FloodmarkFrame& frame, Size points, double scale) const {
    if (!last_ || hasMarks(frame) || last_->hadMarks) {
        return true;
    }
    Size pixels{points.width * scale, points.height * scale};
    if (pixels != last_->pixels || frame.severity != last_->severity ||
        frame.style != last_->style || frame.reduceMotion != last_->reduceMotion) {
        return true;
    }
    // How far the rest line has moved, in pixels; the factor is the water top's.
    double dy = pixels.height * std::fabs(frame.y - last_->y) * 0.92;
    if (frame.reduceMotion) {
        if (dy >= threshold) {
            return true;
        }
    } else {
        double wave = FloodmarkRenderer::surfaceSpeedBound(
                          scale * FloodmarkRenderer::amplitude(points.height, false)) *
                      std::fabs(frame.time - last_->time);
        if (dy + wave >= threshold) {
            return true;
        }
    }
    return pixels.width * std::fabs(frame.x - last_->x) >= threshold;
}

void FloodmarkMotionGate::didDraw(const FloodmarkFrame& frame, Size points, double scale) {
    last_ = Drawn{frame.y,         frame.x,
                  frame.time,      frame.severity,
                  frame.style,     frame.reduceMotion,
                  hasMarks(frame), {points.width * scale, points.height * scale}};
}

}  // namespace floodmark
