#pragma once

#include "platform/draw/Geometry.h"

#include <cairo.h>

#include <functional>

namespace floodmark {

class DeferredLayer;

// A two-colour gradient: linear from `start` to `end`, or radial around `start` from radius 0
// to `radius` (concentric), the only kinds whose dithering the scene asks for.
struct GradientSpec {
    Color from;
    Color to;
    Point start;
    Point end;
    double radius = 0;  // above 0: radial
    bool extend = false;
};

// Paints the gradient over the picture of `cairo` (an ARGB32 image) through its clip, inside
// the path that `addFillPath` adds (everywhere when it is empty): each pixel is computed in
// floating point and rounded with the fixed dither pattern. Where `under` still owes rows of a
// layer beneath, whole rows are laid over the layer's pixels into the picture in one pass;
// the others take the layer's pixels first.
void paintDitheredGradient(cairo_t* cairo, const GradientSpec& gradient,
                           const std::function<void(cairo_t*)>& addFillPath,
                           DeferredLayer* under = nullptr);

}  // namespace floodmark
