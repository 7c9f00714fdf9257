#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "platform/draw/CairoCanvas.h"
#include "platform/draw/Fonts.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace floodmark {
namespace {

class SnapshotCommand : public ::testing::Test {
protected:
    fixtures::CommandRun snapshot(const std::string& arguments) {
        return fixtures::runFloodmark("snapshot --out " + out + " " + arguments, home.path());
    }
    // Width and height of the PNG written; zero when there is none.
    std::pair<int, int> pictureSize() {
        cairo_surface_t* picture = cairo_image_surface_create_from_png(out.c_str());
        std::pair<int, int> size{0, 0};
        if (cairo_surface_status(picture) == CAIRO_STATUS_SUCCESS) {
            size = {cairo_image_surface_get_width(picture),
                    cairo_image_surface_get_height(picture)};
        }
        cairo_surface_destroy(picture);
        return size;
    }

    fixtures::TempDirectory home;
    std::string out = home.file("frame.png");
};

TEST_F(SnapshotCommand, DrawsAFrameAtItsSizeAndScale) {
    EXPECT_EQ(snapshot("").status, 0);
    EXPECT_EQ(pictureSize(), (std::pair{1280, 720}));
    auto run = snapshot(
        "--size 300x200 --scale 2 --y 0.5 --x 0.3 --severity 3 --style still --time 4 "
        "--ripple 0.2:0.3 --pop 0.5:0.6 --clock '2:47 PM' --message 'Still cooking.' "
        "--chrome-alpha 0.5 --reduce-motion");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(pictureSize(), (std::pair{600, 400}));
}

// A repeated --ripple or --pop adds a mark: the second one changes the picture.
TEST_F(SnapshotCommand, DrawsEveryRepeatedMark) {
    auto picture = [&](const std::string& marks) {
        EXPECT_EQ(snapshot("--size 320x180 --y 0.5 --cpu " + marks).status, 0) << marks;
        std::ifstream file(out, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    for (const char* mark : {"--ripple", "--pop"}) {
        std::string one = std::string(mark) + " 0.3:0.25";
        EXPECT_NE(picture(one), picture(one + " " + mark + " 0.3:0.75")) << mark;
    }
}

TEST_F(SnapshotCommand, WritesTheDifferenceOfTheTwoRenderers) {
    std::string difference = home.file("difference.png");
    auto run = snapshot("--size 320x180 --y 0.5 --x 0.4 --severity 2 --ripple 0.3:0.5 --gpu-diff " +
                        difference);
    ASSERT_EQ(run.status, 0);
    cairo_surface_t* picture = cairo_image_surface_create_from_png(difference.c_str());
    ASSERT_EQ(cairo_surface_status(picture), CAIRO_STATUS_SUCCESS);
    const unsigned char* data = cairo_image_surface_get_data(picture);
    int stride = cairo_image_surface_get_stride(picture);
    long total = 0;
    for (int row = 0; row < 180; ++row) {
        for (int byte = 0; byte < 320 * 4; ++byte) {
            total += byte % 4 == 3 ? 0 : data[row * stride + byte];  // colour, not alpha
        }
    }
    cairo_surface_destroy(picture);
    // Nearly black: the renderers agree to within a level or so on average.
    EXPECT_LT(static_cast<double>(total) / (320 * 180 * 3), 2.0);
    EXPECT_EQ(snapshot("--cpu").status, 0);
}

// Whether the PNG at `path` holds exactly the pixels of `canvas`.
bool samePixels(const std::string& path, const CairoCanvas& canvas) {
    cairo_surface_t* picture = cairo_image_surface_create_from_png(path.c_str());
    bool same = cairo_surface_status(picture) == CAIRO_STATUS_SUCCESS &&
                cairo_image_surface_get_width(picture) == canvas.pixelWidth() &&
                cairo_image_surface_get_height(picture) == canvas.pixelHeight();
    for (int row = 0; same && row < canvas.pixelHeight(); ++row) {
        for (int column = 0; same && column < canvas.pixelWidth(); ++column) {
            const unsigned char* pixel = cairo_image_surface_get_data(picture) +
                                         row * cairo_image_surface_get_stride(picture) + column * 4;
            auto expected = canvas.pixel(column, row);
            same = pixel[2] == expected[0] && pixel[1] == expected[1] && pixel[0] == expected[2];
        }
    }
    cairo_surface_destroy(picture);
    return same;
}

TEST_F(SnapshotCommand, CpuDrawsWithCairoAndGpuWithTheSoftwareRasteriser) {
    FloodmarkFrame frame = FloodmarkFrame::resting();
    frame.y = 0.5;
    frame.x = 0.4;
    frame.severity = 2;
    registerBundledFonts();
    CairoCanvas cairo({320, 180}, 1);
    cairo.draw([&](DrawingContext& context) {
        FloodmarkRenderer::drawScene(frame, context, {320, 180});
        FloodmarkRenderer::drawChrome(frame, context, {320, 180});
    });
    const std::string options = "--size 320x180 --y 0.5 --x 0.4 --severity 2";
    // Here the only GPU is llvmpipe: the default counts it as none.
    for (const char* choice : {"--cpu", ""}) {
        ASSERT_EQ(snapshot(options + " " + choice).status, 0);
        EXPECT_TRUE(samePixels(out, cairo)) << choice;
    }
    ASSERT_EQ(snapshot(options + " --gpu").status, 0);
    EXPECT_FALSE(samePixels(out, cairo));
}

TEST_F(SnapshotCommand, BadValuesGetOneLineAndStatusTwo) {
    for (const char* arguments :
         {"--size 0x10", "--size 12", "--size 10.5x10", "--size axb", "--scale -1", "--scale 0",
          "--y nan", "--y", "--severity 1.5", "--style Bloom", "--ripple 0.5", "--ripple x:0.5",
          "--pop 1:2:3", "--chrome-alpha inf", "--size 9000x9000 --scale 2", "--what"}) {
        auto run = snapshot(arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(run.lines.size(), 1u) << arguments;
    }
    auto missingOut = fixtures::runFloodmark("snapshot --y 0.5", home.path());
    EXPECT_EQ(missingOut.status, 2);
}

TEST_F(SnapshotCommand, AnUnwritablePathFailsPlainly) {
    out = home.file("missing/frame.png");
    auto run = snapshot("");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.lines.size(), 1u);
}

}  // namespace
}  // namespace floodmark
