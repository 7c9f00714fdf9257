#include "platform/kit/InternetTime.h"
#include "platform/kit/Time.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <filesystem>

namespace floodmark {
namespace {

using Pixel = std::array<int, 3>;

// Red, green and blue of a PNG's pixel, row 0 at the top.
Pixel pixelOf(cairo_surface_t* picture, int column, int row) {
    const unsigned char* data = cairo_image_surface_get_data(picture);
    std::uint32_t value;
    std::memcpy(&value, data + row * cairo_image_surface_get_stride(picture) + column * 4, 4);
    return {static_cast<int>((value >> 16) & 0xff), static_cast<int>((value >> 8) & 0xff),
            static_cast<int>(value & 0xff)};
}

TEST(RenderCommand, DrawsTheCompanionsWaterWithTheChromeOverIt) {
    fixtures::TempDirectory home;
    mkdir(home.file(".tolvera").c_str(), 0700);
    fixtures::writeFile(home.file(".tolvera/away_state.json"),
                        R"({"schema":1,"y":0.6,"x":0.3,"severity":4,"awaiting":2,"updatedAt":")" +
                            formatInternetTime(currentTime()) + R"("})");
    std::string out = home.file("pictures");
    // --view repeats: each view draws pictures of its own size.
    auto run = fixtures::runFloodmark(
        "render --simulated --seconds 2 --view 400x300 --view 160x90,preview --out " + out,
        home.path());
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 2u);
    EXPECT_TRUE(run.lines[0].starts_with("view 1 400x300@1: ")) << run.lines[0];
    EXPECT_TRUE(run.lines[1].starts_with("view 2 160x90@1 preview: ")) << run.lines[1];

    std::vector<std::string> pictures;
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
        if (entry.path().filename().string().starts_with("view1-")) {
            pictures.push_back(entry.path().string());
        }
    }
    ASSERT_GE(pictures.size(), 2u);
    cairo_surface_t* preview =
        cairo_image_surface_create_from_png((out + "/view2-00000.png").c_str());
    EXPECT_EQ(cairo_image_surface_get_width(preview), 160);
    EXPECT_EQ(cairo_image_surface_get_height(preview), 90);
    cairo_surface_destroy(preview);
    std::sort(pictures.begin(), pictures.end());
    cairo_surface_t* last = cairo_image_surface_create_from_png(pictures.back().c_str());
    ASSERT_EQ(cairo_surface_status(last), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(last), 400);

    // The water stands at 0.6 × 0.92 of the height: red-orange below, dry above.
    Pixel water = pixelOf(last, 40, 300 - static_cast<int>(0.45 * 300));
    Pixel air = pixelOf(last, 40, 300 - static_cast<int>(0.65 * 300));
    EXPECT_GT(water[0], water[1] + 10);
    EXPECT_GT(water[1], water[2] - 5);
    EXPECT_LE(std::abs(air[0] - air[1]), 4);

    // The clock's glyphs stand on the baseline at 78 % of the height, centred.
    int brightest = 0;
    for (int row = 300 - 234 - 30; row < 300 - 234; ++row) {
        for (int column = 120; column < 280; ++column) {
            Pixel pixel = pixelOf(last, column, row);
            brightest = std::max(brightest, pixel[0] + pixel[1] + pixel[2]);
        }
    }
    EXPECT_GT(brightest, 300);
    cairo_surface_destroy(last);

    // Paired from the start, the feed never took the socket and learned nothing to keep.
    EXPECT_FALSE(fixtures::fileExists(home.file(".tolvera/live.sock")));
    EXPECT_FALSE(
        fixtures::fileExists(home.file(".local/state/TolveraFloodmarkSaver/calibration.json")));
}

TEST(RenderCommand, ATerminationSignalStopsTheViewsCleanly) {
    fixtures::TempDirectory home;
    fixtures::RunningFloodmark render(
        {"render", "--seconds", "600", "--view", "160x90", "--out", home.file("pictures")},
        home.path());
    std::string socket = home.file(".tolvera/live.sock");
    ASSERT_TRUE(fixtures::waitUntil([&] { return fixtures::fileExists(socket); }));
    EXPECT_EQ(render.stop(SIGTERM), 0);
    EXPECT_FALSE(fixtures::fileExists(socket));
    EXPECT_TRUE(
        fixtures::fileExists(home.file(".local/state/TolveraFloodmarkSaver/calibration.json")));
}

// The lower 40 % of the first picture a render draws: the water, below any clock or message
// (which can change between runs), as rows of red, green and blue. Motion is reduced, so that
// the surface stands still whenever the run began.
std::vector<Pixel> firstWater(const std::string& choice) {
    fixtures::TempDirectory home;
    std::string out = home.file("pictures");
    auto run =
        fixtures::runFloodmark("render --simulated --reduce-motion --seconds 0.05 --view 320x180 " +
                                   choice + " --out " + out,
                               home.path());
    std::vector<Pixel> pixels;
    cairo_surface_t* picture =
        cairo_image_surface_create_from_png((out + "/view1-00000.png").c_str());
    if (run.status != 0 || cairo_surface_status(picture) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(picture);
        return pixels;
    }
    for (int row = 108; row < 180; ++row) {
        for (int column = 0; column < 320; ++column) {
            pixels.push_back(pixelOf(picture, column, row));
        }
    }
    cairo_surface_destroy(picture);
    return pixels;
}

TEST(RenderCommand, CpuDrawsWithCairoAndGpuOnTheSoftwareRasteriser) {
    auto cpu = firstWater("--cpu");
    ASSERT_EQ(cpu.size(), 320u * 72);
    // Here the only GPU is llvmpipe: the default counts it as none and draws with Cairo.
    EXPECT_EQ(firstWater(""), cpu);
    auto gpu = firstWater("--gpu");
    ASSERT_EQ(gpu.size(), cpu.size());
    EXPECT_NE(gpu, cpu);
}

TEST(RenderCommand, BadValuesGetOneLineAndStatusTwo) {
    fixtures::TempDirectory home;
    for (const char* arguments :
         {"render", "render --out x --view 0x10", "render --out x --view 10x10@0",
          "render --out x --view 10x10@", "render --out x --view abc", "render --out x --fps -2",
          "render --out x --seconds nan", "render --out x --bogus"}) {
        auto run = fixtures::runFloodmark(arguments, home.path());
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(run.lines.size(), 1u) << arguments;
    }
}

}  // namespace
}  // namespace floodmark
