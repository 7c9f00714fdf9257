#include "FloodmarkSaver/view/FloodmarkChromeView.h"

#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "FloodmarkSaver/scene/SceneDamage.h"

#include <algorithm>
#include <cmath>

namespace floodmark {

FloodmarkChromeView::FloodmarkChromeView(Size size)
    : View(size), frame_(FloodmarkFrame{.y = 0, .x = 0}) {}

int FloodmarkChromeView::chromeStep(double alpha) {
    if (!(alpha > 0)) {
        return 0;
    }
    return static_cast<int>(std::round(std::min(alpha, 1.0) * 64));
}

void FloodmarkChromeView::show(const FloodmarkFrame& frame) {
    frame_ = frame;
    Key key{frame.clock, frame.message, chromeStep(frame.chromeAlpha), frame.style};
    if (key_ == key) {
        return;
    }
    // The corner mark never changes; the clock and the message change only their rows.
    if (key_ && key_->style == key.style) {
        setNeedsDisplayInRect(SceneDamage::chromeText(bounds()));
    } else {
        setNeedsDisplay();
    }
    key_ = std::move(key);
}

void FloodmarkChromeView::draw(DrawingContext& context) {
    FloodmarkFrame frame = frame_;
    // Draw exactly the step that caused the repaint.
    if (key_) {
        frame.chromeAlpha = key_->chromeStep / 64.0;
    }
    FloodmarkRenderer::drawChrome(frame, context, bounds());
}

void FloodmarkChromeView::setFrameSize(Size size) {
    View::setFrameSize(size);
    setNeedsDisplay();
}

}  // namespace floodmark
