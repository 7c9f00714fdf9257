#include "platform/draw/Path.h"

namespace floodmark {

void Path::moveTo(Point point) {
    elements_.push_back({.verb = Verb::move, .point = point});
}

void Path::lineTo(Point point) {
    elements_.push_back({.verb = Verb::line, .point = point});
}

void Path::curveTo(Point control1, Point control2, Point end) {
    elements_.push_back(
        {.verb = Verb::curve, .point = end, .control1 = control1, .control2 = control2});
}

void Path::arc(Point centre, double radius, double startAngle, double endAngle) {
    elements_.push_back({.verb = Verb::arc,
                         .point = centre,
                         .radius = radius,
                         .startAngle = startAngle,
                         .endAngle = endAngle});
}

void Path::close() {
    elements_.push_back({.verb = Verb::close});
}

void Path::append(const Path& other) {
    elements_.insert(elements_.end(), other.elements_.begin(), other.elements_.end());
}

}  // namespace floodmark
