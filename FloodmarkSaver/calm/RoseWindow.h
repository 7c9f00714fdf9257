#pragma once

#include "FloodmarkSaver/frame/FloodmarkFrame.h"
#include "platform/draw/DrawingContext.h"

#include <functional>

namespace floodmark {

// The five-fold mirrored rose window that mosaic and splinter share: five rings of five cells
// per sector, lit ring by ring from the centre as the level rises.
namespace RoseWindow {

struct Setup {
    double time;
    double burst;
    double level;
    SustainSeries values;
};

// The frame's time, burst, level and sustain values, at rest under reduce motion.
Setup setup(const FloodmarkFrame& frame);

// Calls `drawCell` once for each of the ten sectors (five turns, each also mirrored), with
// the origin at the view's centre, and gives it the window's radius.
void drawSectors(DrawingContext& context, Size size, double time,
                 const std::function<void(double radius)>& drawCell);

double ringFill(int ring, double level);
double ringAlpha(int ring);
// The point of position `position` on the boundary at radius × boundary / 5.
Point boundaryPoint(int position, int boundary, double radius, const SustainSeries& values,
                    double time);
bool bothPresent(const SustainSeries& values, int position);
// The colour of a cell: a seed colour when both its values are present, flaring in bursts;
// ink otherwise.
Color cellColour(const SustainSeries& values, int position, int colourIndex, int exciteIndex,
                 double burst);

}  // namespace RoseWindow

}  // namespace floodmark
