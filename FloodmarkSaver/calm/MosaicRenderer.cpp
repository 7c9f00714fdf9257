#include "FloodmarkSaver/calm/MosaicRenderer.h"

#include "FloodmarkSaver/calm/CalmPalette.h"
#include "FloodmarkSaver/calm/RoseWindow.h"

#include <algorithm>

namespace floodmark::MosaicRenderer {

void draw(const FloodmarkFrame& frame, DrawingContext& context, Size size) {
    RoseWindow::Setup setup = RoseWindow::setup(frame);
    RoseWindow::drawSectors(context, size, setup.time, [&](double radius) {
        drawCell(context, radius, setup.time, setup.values, setup.level, frame.depth, setup.burst);
    });
}

void drawCell(DrawingContext& context, double radius, double time, const SustainSeries& values,
              double level, double depth, double burst) {
    using namespace RoseWindow;
    context.setLineWidth(std::max(0.0016 * radius, 1.0));
    context.setRoundLines();
    for (int ring = 0; ring < 5; ++ring) {
        double fill = ringFill(ring, level);
        for (int j = 0; j < 5; ++j) {
            int next = (j + 1) % 5;
            bool present = bothPresent(values, j);
            Color colour = cellColour(values, j, j + ring, j + ring, burst);
            Point outerJ = boundaryPoint(j, ring + 1, radius, values, time);
            Point outerNext = boundaryPoint(next, ring + 1, radius, values, time);
            if (fill > 0.01) {
                Path cell;
                if (ring == 0) {
                    cell.moveTo({0, 0});
                } else {
                    cell.moveTo(boundaryPoint(j, ring, radius, values, time));
                    cell.lineTo(boundaryPoint(next, ring, radius, values, time));
                }
                cell.lineTo(outerNext);
                cell.lineTo(outerJ);
                cell.close();
                context.setFillColor(CalmPalette::deepened(
                    colour, ringAlpha(ring) * fill * (present ? 0.42 : 0.1), depth));
                context.fillPath(cell);
            }
            Path edge;
            edge.moveTo(outerJ);
            edge.lineTo(outerNext);
            context.setStrokeColor(CalmPalette::deepened(colour, present ? 0.5 : 0.22, depth));
            context.strokePath(edge);
        }
    }
}

}  // namespace floodmark::MosaicRenderer
