#pragma once

#include "platform/draw/DrawingContext.h"
#include "platform/draw/PixelRect.h"

#include <cairo.h>

#include <functional>
#include <optional>

namespace floodmark {

class CairoCanvas;

// Runs `paint` with a DrawingContext over `target`, a picture of `canvas`'s pixel size, in
// `canvas`'s points with the origin bottom-left; only the pixels of `clip` change. The reusable
// layers the drawing asks for are kept by `canvas`.
void drawWithCairo(CairoCanvas& canvas, cairo_surface_t* target, std::optional<PixelRect> clip,
                   const std::function<void(DrawingContext&)>& paint);

// A clip on whole pixels, set in device space: it only chooses pixels, never changes them.
void clipToPixels(cairo_t* cairo, std::optional<PixelRect> clip);

}  // namespace floodmark
