#pragma once

#include "platform/draw/Geometry.h"
#include "platform/draw/Path.h"

#include <functional>
#include <string>
#include <string_view>

namespace floodmark {

// What the renderers draw through: exactly the operations they use. Points, origin
// bottom-left, y up. State set between save() and restore() ends with the restore.
class DrawingContext {
public:
    virtual ~DrawingContext() = default;

    virtual void save() = 0;
    virtual void restore() = 0;

    virtual void setFillColor(Color colour) = 0;
    virtual void fillRect(Rect rect) = 0;
    virtual void fillEllipse(Rect rect) = 0;
    virtual void fillPath(const Path& path) = 0;

    virtual void setStrokeColor(Color colour) = 0;
    virtual void setLineWidth(double width) = 0;
    // Round caps and joins, for every stroke until a restore.
    virtual void setRoundLines() = 0;
    virtual void strokePath(const Path& path) = 0;

    virtual void clipToRect(Rect rect) = 0;
    virtual void clipToPath(const Path& path) = 0;

    // Two colours at locations 0 and 1. `extend` paints past both ends; otherwise nothing is
    // painted beyond them.
    virtual void drawLinearGradient(Color from, Color to, Point start, Point end, bool extend) = 0;
    virtual void drawRadialGradient(Color from, Color to, Point startCentre, double startRadius,
                                    Point endCentre, double endRadius, bool extend) = 0;
    // Gradients drawn from now until the next restore are rounded to the picture's levels with
    // a fixed dither, so that slow ones show no bands. Linear gradients and radial ones from a
    // point are dithered; a context that cannot dither draws them as they are.
    virtual void setGradientDither(bool on) { (void)on; }

    virtual void translate(double x, double y) = 0;
    virtual void rotate(double angle) = 0;
    virtual void scale(double x, double y) = 0;

    // One line of text with its baseline origin at `origin`, and its width (the ink extent of
    // its glyphs, which start at the origin). A face not found is replaced by a default sans.
    virtual double textWidth(std::string_view text, const std::string& font, double size) = 0;
    virtual void drawText(std::string_view text, const std::string& font, double size, Color colour,
                          Point origin) = 0;

    // Paints what `paint` draws, which must depend on nothing but `key` and the context's
    // size. A context may keep the picture and paint it again for the same key unchanged.
    virtual void drawReusableLayer(const std::string& key,
                                   const std::function<void(DrawingContext&)>& paint) = 0;
};

}  // namespace floodmark
