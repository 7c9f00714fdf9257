#include "platform/draw/CairoContext.h"

#include "platform/draw/CairoCanvas.h"
#include "platform/draw/DeferredLayer.h"
#include "platform/draw/DitheredGradient.h"
#include "platform/draw/Fonts.h"

#include <cmath>
#include <memory>
#include <tuple>
#include <vector>

namespace floodmark {

namespace {

void setSource(cairo_t* cairo, Color colour) {
    cairo_set_source_rgba(cairo, colour.red, colour.green, colour.blue, colour.alpha);
}

void addPath(cairo_t* cairo, const Path& path) {
    cairo_new_path(cairo);
    for (const auto& element : path.elements()) {
        switch (element.verb) {
            case Path::Verb::move:
                cairo_move_to(cairo, element.point.x, element.point.y);
                break;
            case Path::Verb::line:
                cairo_line_to(cairo, element.point.x, element.point.y);
                break;
            case Path::Verb::curve:
                cairo_curve_to(cairo, element.control1.x, element.control1.y, element.control2.x,
                               element.control2.y, element.point.x, element.point.y);
                break;
            case Path::Verb::arc:
                cairo_arc(cairo, element.point.x, element.point.y, element.radius,
                          element.startAngle, element.endAngle);
                break;
            case Path::Verb::close:
                cairo_close_path(cairo);
                break;
        }
    }
}

}  // namespace

void clipToPixels(cairo_t* cairo, std::optional<PixelRect> clip) {
    if (clip) {
        cairo_rectangle(cairo, clip->x, clip->y, clip->width, clip->height);
        cairo_clip(cairo);
    }
}

// The DrawingContext over one cairo context, y flipped so that the origin is bottom-left.
class CairoContext final : public DrawingContext {
public:
    CairoContext(CairoCanvas& canvas, cairo_surface_t* target,
                 std::optional<PixelRect> clip = std::nullopt)
        : canvas_(canvas),
          cairo_(cairo_create(target)),
          target_(target),
          bounds_(clip.value_or(canvas.pixelBounds())) {
        clipToPixels(cairo_, clip);
        cairo_translate(cairo_, 0, canvas.pixelHeight());
        cairo_scale(cairo_, canvas.scale(), -canvas.scale());
    }
    ~CairoContext() override {
        under_.reset();
        cairo_destroy(cairo_);
    }
    CairoContext(const CairoContext&) = delete;
    CairoContext& operator=(const CairoContext&) = delete;

    void save() override {
        applyPendingClip();
        cairo_save(cairo_);
        saved_.push_back({fill_, stroke_, dither_, narrowed_});
    }
    void restore() override {
        // A clip still pending was set after the matching save, so it ends here unapplied.
        pendingClip_.reset();
        cairo_restore(cairo_);
        // The colours are part of the saved state, as Cairo's own source is.
        if (!saved_.empty()) {
            std::tie(fill_, stroke_, dither_, narrowed_) = saved_.back();
            saved_.pop_back();
        }
    }

    void setFillColor(Color colour) override { fill_ = colour; }
    void fillRect(Rect rect) override {
        applyPendingClip();
        settleUnder();
        cairo_new_path(cairo_);
        cairo_rectangle(cairo_, rect.x, rect.y, rect.width, rect.height);
        fillCurrent();
    }
    void fillEllipse(Rect rect) override {
        applyPendingClip();
        settleUnder();
        cairo_new_path(cairo_);
        addEllipse(rect);
        fillCurrent();
    }
    void fillPath(const Path& path) override {
        applyPendingClip();
        settleUnder();
        addPath(cairo_, path);
        fillCurrent();
    }

    void setStrokeColor(Color colour) override { stroke_ = colour; }
    void setLineWidth(double width) override { cairo_set_line_width(cairo_, width); }
    void setRoundLines() override {
        cairo_set_line_cap(cairo_, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_join(cairo_, CAIRO_LINE_JOIN_ROUND);
    }
    void strokePath(const Path& path) override {
        applyPendingClip();
        settleUnder();
        addPath(cairo_, path);
        setSource(cairo_, stroke_);
        cairo_stroke(cairo_);
    }

    void clipToRect(Rect rect) override {
        applyPendingClip();
        cairo_new_path(cairo_);
        cairo_rectangle(cairo_, rect.x, rect.y, rect.width, rect.height);
        cairo_clip(cairo_);
        narrowed_ = true;
    }
    // Kept back until something else is drawn: a gradient painted through a path clip is
    // filled into the path instead, which gives the same pixels without a full-size clip mask.
    void clipToPath(const Path& path) override {
        applyPendingClip();
        pendingClip_ = std::make_unique<Path>(path);
    }

    void setGradientDither(bool on) override { dither_ = on; }

    void drawLinearGradient(Color from, Color to, Point start, Point end, bool extend) override {
        if (dither_) {
            paintDithered({from, to, start, end, 0, extend});
            return;
        }
        cairo_pattern_t* gradient = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
        paintGradient(gradient, from, to, extend);
    }
    void drawRadialGradient(Color from, Color to, Point startCentre, double startRadius,
                            Point endCentre, double endRadius, bool extend) override {
        if (dither_ && startRadius == 0 && startCentre == endCentre && endRadius > 0) {
            paintDithered({from, to, startCentre, endCentre, endRadius, extend});
            return;
        }
        cairo_pattern_t* gradient = cairo_pattern_create_radial(
            startCentre.x, startCentre.y, startRadius, endCentre.x, endCentre.y, endRadius);
        paintGradient(gradient, from, to, extend);
    }

    void translate(double x, double y) override {
        applyPendingClip();
        cairo_translate(cairo_, x, y);
    }
    void rotate(double angle) override {
        applyPendingClip();
        cairo_rotate(cairo_, angle);
    }
    void scale(double x, double y) override {
        applyPendingClip();
        cairo_scale(cairo_, x, y);
    }

    double textWidth(std::string_view text, const std::string& font, double size) override {
        return shapeText(text, font, size).width;
    }

    void drawText(std::string_view text, const std::string& font, double size, Color colour,
                  Point origin) override {
        applyPendingClip();
        settleUnder();
        cairo_save(cairo_);
        ShapedText shaped = shapeText(text, font, size);
        if (!shaped.glyphs.empty()) {
            // Text is laid out y-down: flip back around the baseline origin.
            cairo_translate(cairo_, origin.x, origin.y);
            cairo_scale(cairo_, 1, -1);
            setFont(font, size);
            setSource(cairo_, colour);
            cairo_show_glyphs(cairo_, shaped.glyphs.data(), static_cast<int>(shaped.glyphs.size()));
        }
        cairo_restore(cairo_);
    }

    void drawReusableLayer(const std::string& key,
                           const std::function<void(DrawingContext&)>& paint) override {
        applyPendingClip();
        settleUnder();
        std::shared_ptr<const GroundLayer> layer = canvas_.reusableLayer(key, paint);
        if (!narrowed_ && DeferredLayer::fits(*layer, target_)) {
            // Copied row by row as what is drawn over it needs, or in one pass with it.
            under_ = std::make_unique<DeferredLayer>(std::move(layer), target_, bounds_);
            return;
        }
        const PixelRect box = bounds_.intersected(canvas_.pixelBounds());
        cairo_surface_t* image = layer->image(box);
        cairo_save(cairo_);
        cairo_identity_matrix(cairo_);
        // A copy of the layer's pixels, exactly as if they had been painted here.
        cairo_set_operator(cairo_, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cairo_, image, box.x, box.y);
        cairo_paint(cairo_);
        cairo_restore(cairo_);
        cairo_surface_destroy(image);
    }

private:
    struct ShapedText {
        std::vector<cairo_glyph_t> glyphs;  // moved so that the ink starts at x 0
        double width = 0;
    };

    void fillCurrent() {
        setSource(cairo_, fill_);
        cairo_set_fill_rule(cairo_, CAIRO_FILL_RULE_WINDING);
        cairo_fill(cairo_);
    }

    void addEllipse(Rect rect) {
        cairo_save(cairo_);
        cairo_translate(cairo_, rect.x + rect.width / 2, rect.y + rect.height / 2);
        cairo_scale(cairo_, rect.width / 2, rect.height / 2);
        cairo_arc(cairo_, 0, 0, 1, 0, 2 * M_PI);
        cairo_restore(cairo_);
    }

    void applyPendingClip() {
        if (pendingClip_) {
            addPath(cairo_, *pendingClip_);
            cairo_set_fill_rule(cairo_, CAIRO_FILL_RULE_WINDING);
            cairo_clip(cairo_);
            pendingClip_.reset();
            narrowed_ = true;
        }
    }

    // Copies what is still owed of a layer laid under the picture, before anything that
    // cannot take its pixels in the same pass is drawn.
    void settleUnder() {
        if (under_) {
            under_->settleAll();
        }
    }

    void paintDithered(const GradientSpec& gradient) {
        std::function<void(cairo_t*)> addFillPath;
        if (pendingClip_) {
            // The clip stays pending for whatever follows in the same bracket.
            addFillPath = [this](cairo_t* cairo) { addPath(cairo, *pendingClip_); };
        }
        paintDitheredGradient(cairo_, gradient, addFillPath, under_.get());
    }

    void paintGradient(cairo_pattern_t* gradient, Color from, Color to, bool extend) {
        settleUnder();
        if (cairo_pattern_status(gradient) == CAIRO_STATUS_SUCCESS) {
            cairo_pattern_add_color_stop_rgba(gradient, 0, from.red, from.green, from.blue,
                                              from.alpha);
            cairo_pattern_add_color_stop_rgba(gradient, 1, to.red, to.green, to.blue, to.alpha);
            cairo_pattern_set_extend(gradient, extend ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
            cairo_set_source(cairo_, gradient);
            if (pendingClip_) {
                // The clip stays pending for whatever follows in the same bracket.
                addPath(cairo_, *pendingClip_);
                cairo_set_fill_rule(cairo_, CAIRO_FILL_RULE_WINDING);
                cairo_fill(cairo_);
            } else {
                cairo_paint(cairo_);
            }
        }
        cairo_pattern_destroy(gradient);
    }

    bool setFont(const std::string& font, double size) {
        auto face = fontNamed(font);
        if (!face) {
            return false;
        }
        cairo_set_font_face(cairo_, face->cairoFace());
        cairo_set_font_size(cairo_, size);
        return true;
    }

    ShapedText shapeText(std::string_view text, const std::string& font, double size) {
        ShapedText shaped;
        auto face = fontNamed(font);
        if (!face || text.empty() || !(size > 0)) {
            return shaped;
        }
        shaped.glyphs = face->shape(text, size);
        cairo_save(cairo_);
        cairo_identity_matrix(cairo_);
        cairo_scale(cairo_, canvas_.scale(), canvas_.scale());
        setFont(font, size);
        cairo_text_extents_t extents{};
        cairo_glyph_extents(cairo_, shaped.glyphs.data(), static_cast<int>(shaped.glyphs.size()),
                            &extents);
        cairo_restore(cairo_);
        for (auto& glyph : shaped.glyphs) {
            glyph.x -= extents.x_bearing;
        }
        shaped.width = extents.width;
        return shaped;
    }

    CairoCanvas& canvas_;
    cairo_t* cairo_;
    cairo_surface_t* target_;
    PixelRect bounds_;  // the pixels the context may change
    // A layer laid under `bounds_` whose rows are not all copied yet.
    std::unique_ptr<DeferredLayer> under_;
    bool narrowed_ = false;  // clipped within `bounds_`
    // On the heap: GCC 16 at -O3 takes an optional's vector for uninitialised.
    std::unique_ptr<Path> pendingClip_;
    Color fill_;
    Color stroke_;
    bool dither_ = false;
    // Fill, stroke, dither and narrowed at each save.
    std::vector<std::tuple<Color, Color, bool, bool>> saved_;
};

void drawWithCairo(CairoCanvas& canvas, cairo_surface_t* target, std::optional<PixelRect> clip,
                   const std::function<void(DrawingContext&)>& paint) {
    CairoContext context(canvas, target, clip);
    paint(context);
}

}  // namespace floodmark
