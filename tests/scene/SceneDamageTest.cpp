#include "FloodmarkSaver/view/FloodmarkChromeView.h"
#include "FloodmarkSaver/gpu/FloodmarkMotionGate.h"
#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "FloodmarkSaver/scene/SceneDamage.h"
#include "platform/draw/Fonts.h"
#include "platform/kit/View.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>

namespace floodmark {
namespace {

// The water as the saver draws it with Cairo: behind the motion gate, repainting either the
// whole view or only what the frame changed against the last one painted.
class WaterView final : public View {
public:
    WaterView(Size size, bool tracksDamage) : View(size), tracksDamage_(tracksDamage) {}

    void show(const FloodmarkFrame& frame, double scale) {
        if (!gate_.needsDraw(frame, bounds(), scale)) {
            return;
        }
        gate_.didDraw(frame, bounds(), scale);
        std::optional<Rect> changed;
        if (tracksDamage_ && painted_) {
            changed = SceneDamage::between(*painted_, frame, bounds());
        }
        changed ? setNeedsDisplayInRect(*changed) : setNeedsDisplay();
        painted_ = frame;
    }
    void draw(DrawingContext& context) override {
        FloodmarkRenderer::drawScene(*painted_, context, bounds());
    }
    const FloodmarkFrame& painted() const { return *painted_; }

private:
    bool tracksDamage_;
    FloodmarkMotionGate gate_;
    std::optional<FloodmarkFrame> painted_;
};

struct Screen {
    Screen(Size size, double scale, bool tracksDamage)
        : window(size, scale),
          water(std::make_shared<WaterView>(size, tracksDamage)),
          chrome(std::make_shared<FloodmarkChromeView>(size)) {
        water->addSubview(chrome);
        window.setContentView(water);
    }
    void show(const FloodmarkFrame& frame) {
        water->show(frame, window.backingScale());
        chrome->show(frame);
        window.compose();
    }
    Window window;
    std::shared_ptr<WaterView> water;
    std::shared_ptr<FloodmarkChromeView> chrome;
};

bool samePixels(const CairoCanvas& a, const CairoCanvas& b) {
    cairo_surface_flush(a.surface());
    cairo_surface_flush(b.surface());
    int stride = cairo_image_surface_get_stride(a.surface());
    return a.pixelWidth() == b.pixelWidth() && a.pixelHeight() == b.pixelHeight() &&
           std::memcmp(cairo_image_surface_get_data(a.surface()),
                       cairo_image_surface_get_data(b.surface()),
                       static_cast<std::size_t>(stride) * a.pixelHeight()) == 0;
}

FloodmarkFrame restingAt(double time) {
    FloodmarkFrame frame{.y = 0.07, .x = 0.2, .severity = 1, .time = time};
    frame.clock = time < 30 ? "10:41" : "10:42";
    frame.message = "Still cooking.";
    return frame;
}

// Scenes of about a minute and a half, frame by frame at 1/30 s, each with its name.
struct Scene {
    const char* name;
    int frames;
    std::function<FloodmarkFrame(int)> frameAt;
};

const Scene scenes[] = {
    {"resting minute with a change of the clock", 900, [](int i) { return restingAt(i / 15.0); }},
    {"rise, lit run and fade of the chrome", 120,
     [](int i) {
         FloodmarkFrame frame = restingAt(60 + i / 30.0);
         frame.y = 0.07 + 0.005 * i;
         frame.x = 0.2 + 0.006 * i;
         frame.chromeAlpha = 1 - i / 150.0;
         return frame;
     }},
    {"ripples", 90,
     [](int i) {
         FloodmarkFrame frame = restingAt(70 + i / 30.0);
         frame.ripples = {{i / 90.0, 0.3}, {i / 60.0, 0.75}, {1.3, 0.5}};
         return frame;
     }},
    {"pops, then nothing on the surface", 90,
     [](int i) {
         FloodmarkFrame frame = restingAt(80 + i / 30.0);
         if (i < 75) {
             frame.pops = {{i / 70.0, 0.45}, {0.2, 0.9}};
         }
         return frame;
     }},
    {"tint and dry water", 30,
     [](int i) {
         FloodmarkFrame frame = restingAt(90 + i / 30.0);
         frame.severity = i < 10 ? 1 : 4;
         frame.y = i < 20 ? 0.07 : 0;
         return frame;
     }},
};

TEST(SceneDamageTest, RepaintingWhatChangedGivesTheFullRedrawsPixels) {
    registerBundledFonts();
    for (double scale : {1.0, 2.0}) {
        Size size{480, 270};
        Screen tracked(size, scale, true);
        Screen whole(size, scale, false);
        long long pixelsRepainted = 0;
        long long restingPictures = 0;
        for (const Scene& scene : scenes) {
            for (int i = 0; i < scene.frames; ++i) {
                FloodmarkFrame frame = scene.frameAt(i);
                tracked.show(frame);
                // The gate may have kept the last picture: redraw what it shows, in full.
                FloodmarkFrame shown = tracked.water->painted();
                shown.clock = frame.clock;
                shown.message = frame.message;
                shown.chromeAlpha = frame.chromeAlpha;
                whole.show(shown);
                ASSERT_TRUE(samePixels(*tracked.window.picture(), *whole.window.picture()))
                    << scene.name << ", frame " << i << ", scale " << scale;
                if (scene.frames == 900 && i > 0 && tracked.window.damage().height > 0) {
                    pixelsRepainted += tracked.window.damage().height;
                    ++restingPictures;
                }
            }
        }
        // At rest only the band around the surface is repainted: about a tenth of the rows.
        ASSERT_GT(restingPictures, 100);
        double rows = static_cast<double>(pixelsRepainted) / restingPictures;
        EXPECT_LT(rows, 0.15 * size.height * scale) << "scale " << scale;
    }
}

// The band a frame changes, worked out by hand for a 1000-point view at level 0.5: rest line
// 460, amplitude 4, glow 30, line width 2 and a margin of 4, so rows 452 to 498.
TEST(SceneDamageTest, BandsFollowTheSurfaceAndGrowForLevelTintAndMarks) {
    Size size{1600, 1000};
    FloodmarkFrame drawn{.y = 0.5, .x = 0.3, .time = 0};
    struct Case {
        const char* name;
        std::function<void(FloodmarkFrame&)> change;
        std::optional<Rect> expected;
    };
    const Case cases[] = {
        {"time only", [](FloodmarkFrame& f) { f.time = 0.2; }, Rect{0, 452, 1600, 46}},
        {"lit run", [](FloodmarkFrame& f) { f.x = 0.9; }, Rect{0, 452, 1600, 46}},
        {"level: down to the floor", [](FloodmarkFrame& f) { f.y = 0.51; },
         Rect{0, 0, 1600, 469.2 + 4 + 30 + 4}},
        {"ripple of age 1 reaches 56 above",
         [](FloodmarkFrame& f) {
             f.ripples = {{1, 0.5}};
         },
         Rect{0, 452, 1600, 524 - 452}},
        {"collapsing pop reaches 2.8 R = 30.8 below",
         [](FloodmarkFrame& f) {
             f.pops = {{1, 0.5}};
         },
         Rect{0, 421.2, 1600, 498 - 421.2}},
        {"tint", [](FloodmarkFrame& f) { f.severity = 2; }, std::nullopt},
        {"style", [](FloodmarkFrame& f) { f.style = SaverStyle::bloom; }, std::nullopt},
        {"reduce motion", [](FloodmarkFrame& f) { f.reduceMotion = true; }, std::nullopt},
    };
    for (const Case& c : cases) {
        FloodmarkFrame next = drawn;
        c.change(next);
        std::optional<Rect> band = SceneDamage::between(drawn, next, size);
        ASSERT_EQ(band.has_value(), c.expected.has_value()) << c.name;
        if (band) {
            EXPECT_NEAR(band->y, c.expected->y, 1e-9) << c.name;
            EXPECT_NEAR(band->height, c.expected->height, 1e-9) << c.name;
            EXPECT_EQ(band->width, 1600) << c.name;
        }
    }
    FloodmarkFrame dry{.y = 0, .time = 0};
    FloodmarkFrame stillDry{.y = 0.0005, .time = 3};
    EXPECT_EQ(SceneDamage::between(dry, stillDry, size), Rect{}) << "no water either time";
}

}  // namespace
}  // namespace floodmark
