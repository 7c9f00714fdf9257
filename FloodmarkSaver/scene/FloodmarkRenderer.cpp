#include "FloodmarkSaver/scene/FloodmarkRenderer.h"

#include "FloodmarkSaver/calm/CalmLayers.h"
#include "FloodmarkSaver/calm/CalmPalette.h"
#include "FloodmarkSaver/frame/FloodmarkPalette.h"
#include "FloodmarkSaver/scene/PopRenderer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace floodmark::FloodmarkRenderer {

namespace {

constexpr double pi = std::numbers::pi;
// Water below this level, and a lit share up to it, are not drawn.
constexpr double invisibleLevel = 0.001;
// Above every surface: the glow's clip reaches this high.
constexpr double skyHeight = 100000;

// The canvas and its glow depend only on the size and the ground, so a context may keep them.
void drawGround(DrawingContext& context, Size size, bool calm) {
    context.drawReusableLayer(calm ? "ground.calm" : "ground.standard", [&](DrawingContext& layer) {
        layer.setFillColor(calm ? CalmPalette::aGround : FloodmarkPalette::canvas);
        layer.fillRect({0, 0, size.width, size.height});
        layer.save();
        layer.setGradientDither(true);
        Point bottomCentre{size.width / 2, 0};
        layer.drawRadialGradient(FloodmarkPalette::canvasGlow.withAlpha(originGlowAlpha),
                                 FloodmarkPalette::canvasGlow.withAlpha(0), bottomCentre, 0,
                                 bottomCentre, 0.75 * std::max(size.width, size.height), false);
        layer.restore();
    });
}

// The surface path continued to two far corners and closed: the water below it, or the air
// above it.
Path closedUnder(const Path& surface, Size size, double floor) {
    Path region = surface;
    region.lineTo({size.width, floor});
    region.lineTo({0, floor});
    region.close();
    return region;
}

void drawWater(const FloodmarkFrame& frame, DrawingContext& context, Size size, Color tint,
               double top) {
    const double w = size.width;
    const double h = size.height;
    const double amp = amplitude(h, frame.reduceMotion);
    auto surfaceAt = [&](double x) { return surfaceY(x, w, top, frame.time, amp); };

    Path surface;
    int segments = surfaceSegments(w);
    surface.moveTo({0, surfaceAt(0)});
    for (int i = 1; i <= segments; ++i) {
        double x = w * i / segments;
        surface.lineTo({x, surfaceAt(x)});
    }

    context.save();
    context.setGradientDither(true);
    context.clipToPath(closedUnder(surface, size, 0));
    context.drawLinearGradient(tint.withAlpha(bodyAlphaTop), tint.withAlpha(bodyAlphaBottom),
                               {w / 2, top + amp}, {w / 2, 0}, true);
    context.restore();

    context.save();
    context.setGradientDither(true);
    context.clipToPath(closedUnder(surface, size, skyHeight));
    context.drawLinearGradient(tint.withAlpha(0), tint.withAlpha(surfaceGlowAlpha),
                               {w / 2, top + amp + glowHeight(h)}, {w / 2, top - amp}, true);
    context.restore();

    const double lineWidth = surfaceLineWidth(h);
    context.setLineWidth(lineWidth);
    context.setRoundLines();
    context.setStrokeColor(tint.withAlpha(surfaceRunDimAlpha));
    context.strokePath(surface);

    double share = std::min(frame.x, 1.0);
    if (share > invisibleLevel) {
        context.save();
        context.clipToRect({0, 0, w * share, h});
        context.setLineWidth(lineWidth);
        context.setStrokeColor(tint.withAlpha(surfaceRunLitAlpha));
        context.strokePath(surface);
        context.restore();
    }

    context.setLineWidth(std::max(0.8 * lineWidth, 1.0));
    for (const auto& ripple : frame.ripples) {
        double age = std::clamp(ripple.age, 0.0, 1.0);
        double x = w * ripple.position;
        context.setStrokeColor(tint.withAlpha(rippleAlpha * (1 - age)));
        Path ring;
        ring.arc({x, surfaceAt(x)}, rippleRadius(age, h), 0, pi);
        context.strokePath(ring);
    }

    PopRenderer::draw(frame.pops, context, size, tint, lineWidth, surfaceAt);
}

// One line of chrome text, centred on the width unless `right` gives its right edge.
void drawLine(DrawingContext& context, std::string_view text, const std::string& font,
              double fontSize, Color colour, double width, double baseline,
              std::optional<double> right = std::nullopt) {
    double textWidth = context.textWidth(text, font, fontSize);
    double x = right ? *right - textWidth : width / 2 - textWidth / 2;
    context.save();
    context.drawText(text, font, fontSize, colour, {x, baseline});
    context.restore();
}

}  // namespace

double amplitude(double height, bool reduceMotion) {
    return reduceMotion ? 0 : std::max(0.004 * height, 2.0);
}

double waterTop(double level, double height) {
    return level * height * 0.92;
}

double glowHeight(double height) {
    return std::max(0.03 * height, 14.0);
}

double surfaceLineWidth(double height) {
    return std::max(0.002 * height, 1.5);
}

double rippleRadius(double age, double height) {
    return age * std::max(0.05 * height, 24.0) + 6;
}

double surfaceY(double x, double width, double top, double time, double amplitude) {
    if (!(amplitude > 0) || !(width > 0)) {
        return top;
    }
    double u = x / width;
    double a = std::sin(2 * pi * (1.7 * u - time / surfacePeriodA));
    double b = std::sin(2 * pi * (2.9 * u + time / surfacePeriodB));
    return top + amplitude * (a + 0.5 * b) / 1.5;
}

double surfaceSpeedBound(double amplitude) {
    return amplitude * 0.5039988214315176;
}

int surfaceSegments(double width) {
    return std::max(static_cast<int>(std::clamp(width / 16, 0.0, 1e6)), 24);
}

void drawScene(const FloodmarkFrame& frame, DrawingContext& context, Size size) {
    drawGround(context, size, frame.style.isCalm());
    Color tint = FloodmarkPalette::waterTint(frame.severity);
    double level = std::clamp(frame.y, 0.0, 1.0);
    double top = waterTop(level, size.height);
    if (level > invisibleLevel && !frame.style.isFullBleed()) {
        drawWater(frame, context, size, tint, top);
    }
    if (frame.style.isCalm()) {
        drawCalmLayers(frame, context, size, top, level);
    }
}

void drawChrome(const FloodmarkFrame& frame, DrawingContext& context, Size size) {
    const double w = size.width;
    const double h = size.height;
    const double m = std::min(w, h);
    bool hidden =
        frame.style == SaverStyle::still || frame.style.isCalm() || !(frame.chromeAlpha > 0);
    double alpha = hidden ? 0 : std::min(frame.chromeAlpha, 1.0);
    bool visible = alpha > FloodmarkFrame::chromeInvisibleBelow;

    if (visible && !frame.clock.empty()) {
        drawLine(context, frame.clock, "IBMPlexMono-Regular", m * 0.11,
                 FloodmarkPalette::ink2.withAlpha(0.85 * alpha), w, 0.78 * h);
    }
    if (visible && frame.message) {
        drawLine(context, *frame.message, "IBMPlexSans-Regular", m * 0.021,
                 FloodmarkPalette::ink2.withAlpha(0.8 * alpha), w, 0.78 * h + 0.135 * m);
    }
    drawLine(context, cornerText, "IBMPlexSans-Medium", std::max(m * 0.014, 11.0),
             FloodmarkPalette::ink2, w, std::max(h * 0.02, 14.0), w - std::max(w * 0.015, 18.0));
}

}  // namespace floodmark::FloodmarkRenderer
