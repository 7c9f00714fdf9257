#include "support/RecordingContext.h"

namespace floodmark {

std::vector<RecordingContext::Operation> RecordingContext::named(const std::string& name) const {
    std::vector<Operation> found;
    for (const auto& operation : operations_) {
        if (operation.name == name) {
            found.push_back(operation);
        }
    }
    return found;
}

void RecordingContext::save() {
    savedPens_.push_back(pen_);
    log({.name = "save"});
}
void RecordingContext::restore() {
    if (!savedPens_.empty()) {
        pen_ = savedPens_.back();
        savedPens_.pop_back();
    }
    log({.name = "restore"});
}

void RecordingContext::setFillColor(Color colour) {
    log({.name = "setFillColor", .colors = {colour}});
}

void RecordingContext::fillRect(Rect rect) {
    log({.name = "fillRect", .numbers = {rect.x, rect.y, rect.width, rect.height}});
}

void RecordingContext::fillEllipse(Rect rect) {
    log({.name = "fillEllipse", .numbers = {rect.x, rect.y, rect.width, rect.height}});
}

void RecordingContext::fillPath(const Path& path) {
    log({.name = "fillPath", .path = path});
}

void RecordingContext::setStrokeColor(Color colour) {
    pen_.colour = colour;
    log({.name = "setStrokeColor", .colors = {colour}});
}

void RecordingContext::setLineWidth(double width) {
    pen_.width = width;
    log({.name = "setLineWidth", .numbers = {width}});
}

void RecordingContext::setRoundLines() {
    log({.name = "setRoundLines"});
}

void RecordingContext::strokePath(const Path& path) {
    log({.name = "strokePath", .numbers = {pen_.width}, .colors = {pen_.colour}, .path = path});
}

void RecordingContext::clipToRect(Rect rect) {
    log({.name = "clipToRect", .numbers = {rect.x, rect.y, rect.width, rect.height}});
}

void RecordingContext::clipToPath(const Path& path) {
    log({.name = "clipToPath", .path = path});
}

void RecordingContext::drawLinearGradient(Color from, Color to, Point start, Point end,
                                          bool extend) {
    log({.name = "drawLinearGradient",
         .numbers = {start.x, start.y, end.x, end.y, extend ? 1.0 : 0.0},
         .colors = {from, to}});
}

void RecordingContext::drawRadialGradient(Color from, Color to, Point startCentre,
                                          double startRadius, Point endCentre, double endRadius,
                                          bool extend) {
    log({.name = "drawRadialGradient",
         .numbers = {startCentre.x, startCentre.y, startRadius, endCentre.x, endCentre.y, endRadius,
                     extend ? 1.0 : 0.0},
         .colors = {from, to}});
}

void RecordingContext::translate(double x, double y) {
    log({.name = "translate", .numbers = {x, y}});
}

void RecordingContext::rotate(double angle) {
    log({.name = "rotate", .numbers = {angle}});
}

void RecordingContext::scale(double x, double y) {
    log({.name = "scale", .numbers = {x, y}});
}

double RecordingContext::textWidth(std::string_view text, const std::string&, double size) {
    return 0.5 * size * static_cast<double>(text.size());
}

void RecordingContext::drawText(std::string_view text, const std::string& font, double size,
                                Color colour, Point origin) {
    log({.name = "drawText",
         .numbers = {size, origin.x, origin.y},
         .colors = {colour},
         .text = std::string(text) + "|" + font});
}

void RecordingContext::drawReusableLayer(const std::string& key,
                                         const std::function<void(DrawingContext&)>& paint) {
    log({.name = "drawReusableLayer", .text = key});
    paint(*this);
}

}  // namespace floodmark
