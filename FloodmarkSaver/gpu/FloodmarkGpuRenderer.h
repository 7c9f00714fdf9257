#pragma once

#include "FloodmarkSaver/frame/FloodmarkFrame.h"
#include "FloodmarkSaver/frame/DrawMiss.h"
#include "platform/draw/Geometry.h"
#include "platform/gl/GpuView.h"

#include <array>
#include <memory>
#include <optional>

namespace floodmark {

// The block the fragment shader reads (std140): eight vectors, then sixteen marks.
struct GpuUniforms {
    using Vector = std::array<float, 4>;
    Vector size{};   // width, height (pixels), time, 1 when the water is drawn
    Vector water{};  // rest line, amplitude, lit end, surface line width (pixels)
    Vector bands{};  // glow height, mark line width, origin glow radius (pixels), marks
    Vector tint{};
    Vector canvas{};
    Vector canvasGlow{};
    Vector alphas{};                 // body top, body bottom, surface glow, origin glow
    Vector run{};                    // dim run, lit run, wave periods A and B
    std::array<Vector, 16> marks{};  // centre x, radius, alpha, 0 upper or 1 lower
};
static_assert(sizeof(GpuUniforms) == 384);

// Draws the standard scene on the GPU: one triangle over the view, every pixel from the
// uniforms. Not for the calm styles.
class FloodmarkGpuRenderer {
public:
    static constexpr int maxMarks = 16;

    // None when the device is missing or the shader does not compile or link.
    static std::unique_ptr<FloodmarkGpuRenderer> make(std::shared_ptr<GpuDevice> device);
    ~FloodmarkGpuRenderer();
    FloodmarkGpuRenderer(const FloodmarkGpuRenderer&) = delete;
    FloodmarkGpuRenderer& operator=(const FloodmarkGpuRenderer&) = delete;

    FloodmarkFrame frame = FloodmarkFrame::resting();

    // Counts the coming draw as skipped until it presents.
    void beginDraw();
    // The GPU view's draw: renders `frame` into the view and presents it.
    void draw(GpuView& view);
    bool presentedLastDraw() const { return presentedLastDraw_; }
    std::optional<DrawMiss> lastMiss() const { return lastMiss_; }

    GpuUniforms makeUniforms(Size points, double scale);
    // How often a severity's tint has been converted: only when it changes.
    int tintConversions() const { return tintConversions_; }
    static GpuUniforms::Vector rgb(Color colour);

private:
    explicit FloodmarkGpuRenderer(std::shared_ptr<GpuDevice> device) : device_(std::move(device)) {}

    std::shared_ptr<GpuDevice> device_;
    unsigned program_ = 0;
    unsigned uniformBuffer_ = 0;
    bool presentedLastDraw_ = false;
    std::optional<DrawMiss> lastMiss_;
    std::optional<std::pair<int, GpuUniforms::Vector>> tintCache_;
    int tintConversions_ = 0;
};

}  // namespace floodmark
