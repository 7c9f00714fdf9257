#pragma once

#include "FloodmarkSaver/frame/FloodmarkFrame.h"
#include "platform/kit/View.h"

#include <optional>
#include <string>

namespace floodmark {

// The transparent overlay with the clock, the away message and the corner mark. It repaints
// only when what it shows changes: the clock text, the message, the fade in 64 steps, or the
// style. Pointer events pass through it.
class FloodmarkChromeView final : public View {
public:
    explicit FloodmarkChromeView(Size size);

    void show(const FloodmarkFrame& frame);
    void draw(DrawingContext& context) override;
    void setFrameSize(Size size) override;
    View* hitTest(Point) override { return nullptr; }

    // The chrome alpha in 64 steps, as the view repaints for it.
    static int chromeStep(double alpha);

private:
    struct Key {
        std::string clock;
        std::optional<std::string> message;
        int chromeStep;
        SaverStyle style;
        bool operator==(const Key&) const = default;
    };

    FloodmarkFrame frame_;
    std::optional<Key> key_;
};

}  // namespace floodmark
