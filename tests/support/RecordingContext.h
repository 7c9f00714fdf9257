#pragma once

#include "platform/draw/DrawingContext.h"

#include <string>
#include <vector>

namespace floodmark {

// A DrawingContext that draws nothing and logs each operation with its arguments, so that
// tests can check what a renderer asked for. Text is measured as 0.5 × size per byte; a stroke
// carries the line width and colour it is drawn with.
class RecordingContext final : public DrawingContext {
public:
    struct Operation {
        std::string name;             // the operation, as its member function is named
        std::vector<double> numbers;  // its numeric arguments, in order
        std::vector<Color> colors;    // its colour arguments, in order
        Path path;                    // fills, strokes and clips of a path
        std::string text;             // text and layer keys
        bool operator==(const Operation&) const = default;
    };

    const std::vector<Operation>& operations() const { return operations_; }
    // The operations of one name, in order.
    std::vector<Operation> named(const std::string& name) const;

    void save() override;
    void restore() override;
    void setFillColor(Color colour) override;
    void fillRect(Rect rect) override;
    void fillEllipse(Rect rect) override;
    void fillPath(const Path& path) override;
    void setStrokeColor(Color colour) override;
    void setLineWidth(double width) override;
    void setRoundLines() override;
    void strokePath(const Path& path) override;
    void clipToRect(Rect rect) override;
    void clipToPath(const Path& path) override;
    void drawLinearGradient(Color from, Color to, Point start, Point end, bool extend) override;
    void drawRadialGradient(Color from, Color to, Point startCentre, double startRadius,
                            Point endCentre, double endRadius, bool extend) override;
    void translate(double x, double y) override;
    void rotate(double angle) override;
    void scale(double x, double y) override;
    double textWidth(std::string_view text, const std::string& font, double size) override;
    void drawText(std::string_view text, const std::string& font, double size, Color colour,
                  Point origin) override;
    void drawReusableLayer(const std::string& key,
                           const std::function<void(DrawingContext&)>& paint) override;

private:
    void log(Operation operation) { operations_.push_back(std::move(operation)); }

    struct Pen {
        Color colour;
        double width = 1;
    };

    std::vector<Operation> operations_;
    Pen pen_;
    std::vector<Pen> savedPens_;
};

}  // namespace floodmark
