#include "platform/draw/CairoCanvas.h"
#include "platform/draw/GroundLayer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace floodmark {
namespace {

// Grounds of two premultiplied pixels, and whether they fit 16 bits a pixel: opaque, and
// within 31 levels of red and blue and 63 of green of the least of each.
struct Case {
    const char* name;
    std::uint32_t left;
    std::uint32_t right;
    bool packs;
};
const Case cases[] = {
    {"at the reach of every colour", 0xff102030, 0xff2f5f4f, true},
    {"a level too far in red", 0xff102030, 0xff302030, false},
    {"a level too far in green", 0xff102030, 0xff106030, false},
    {"a level too far in blue", 0xff102030, 0xff102050, false},
    {"not opaque", 0xff102030, 0x80081018, false},
};

// Kept packed or not, a ground gives back its own pixels, from any column, whole or in part.
TEST(GroundLayer, KeepsTheExactPixelsPackedOrNot) {
    for (const Case& test : cases) {
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2, 1);
        auto* data = reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(image));
        data[0] = test.left;
        data[1] = test.right;
        cairo_surface_mark_dirty(image);
        GroundLayer layer(image);
        EXPECT_EQ(layer.packed(), test.packs) << test.name;
        std::uint32_t row[2] = {0, 0};
        layer.copyRow(0, 0, 2, row);
        EXPECT_EQ(row[0], test.left) << test.name;
        EXPECT_EQ(row[1], test.right) << test.name;
        EXPECT_EQ(layer.row(0, 1)[0], test.right) << test.name;
        cairo_surface_t* part = layer.image({1, 0, 1, 1});
        std::uint32_t value = 0;
        std::memcpy(&value, cairo_image_surface_get_data(part), 4);
        EXPECT_EQ(value, test.right) << test.name;
        cairo_surface_destroy(part);
    }
}

// A gradient laid over a ground in one pass with it, or over it once it is copied (a clip
// narrower than the picture), gives the same pixels whichever way the ground is kept.
TEST(GroundLayer, AGradientInOnePassEqualsOneOverTheCopiedGround) {
    const Size size{70, 6};
    auto drawInto = [&](CairoCanvas& canvas, const Case& test, bool clipped) {
        canvas.draw([&](DrawingContext& context) {
            if (clipped) {
                context.clipToRect({0, 0, size.width, size.height});
            }
            context.drawReusableLayer(test.name, [&](DrawingContext& layer) {
                auto colour = [](std::uint32_t pixel) {
                    const double alpha = (pixel >> 24) / 255.0;
                    auto level = [&](int shift) {
                        return ((pixel >> shift) & 0xff) / 255.0 / alpha;
                    };
                    return Color{level(16), level(8), level(0), alpha};
                };
                layer.setFillColor(colour(test.left));
                layer.fillRect({0, 0, 30, size.height});
                layer.setFillColor(colour(test.right));
                layer.fillRect({30, 0, size.width - 30, size.height});
            });
            context.setGradientDither(true);
            context.drawLinearGradient({0.2, 0.4, 0.6, 0.3}, {0.1, 0.3, 0.5, 0.9}, {0, 0},
                                       {0, size.height}, false);
        });
    };
    for (const Case& test : cases) {
        CairoCanvas onePass(size, 1);
        CairoCanvas copied(size, 1);
        drawInto(onePass, test, false);
        drawInto(copied, test, true);
        for (int row = 0; row < size.height; ++row) {
            for (int column = 0; column < size.width; ++column) {
                ASSERT_EQ(onePass.pixel(column, row), copied.pixel(column, row))
                    << test.name << ", column " << column << ", row " << row;
            }
        }
    }
}

}  // namespace
}  // namespace floodmark
