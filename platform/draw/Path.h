#pragma once

#include "platform/draw/Geometry.h"

#include <vector>

namespace floodmark {

// A path built once and filled, stroked or clipped to as often as needed. Fills and clips use
// the non-zero winding rule.
class Path {
public:
    enum class Verb { move, line, curve, arc, close };

    struct Element {
        Verb verb;
        Point point;            // move, line, curve: the end point; arc: the centre
        Point control1;         // curve only
        Point control2;         // curve only
        double radius = 0;      // arc only
        double startAngle = 0;  // arc only, counter-clockwise to endAngle
        double endAngle = 0;
        bool operator==(const Element&) const = default;
    };

    void moveTo(Point point);
    void lineTo(Point point);
    void curveTo(Point control1, Point control2, Point end);
    // A counter-clockwise arc; from the current point a line joins its start.
    void arc(Point centre, double radius, double startAngle, double endAngle);
    void close();
    void append(const Path& other);

    const std::vector<Element>& elements() const { return elements_; }
    bool empty() const { return elements_.empty(); }
    bool operator==(const Path&) const = default;

private:
    std::vector<Element> elements_;
};

}  // namespace floodmark
