#include "FloodmarkSaver/gpu/GpuPicture.h"
#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/GpuChoice.h"
#include "app/OptionValues.h"
#include "platform/draw/CairoCanvas.h"
#include "platform/draw/Fonts.h"

#include <cmath>
#include <cstdlib>
#include <iostream>

namespace floodmark::app {

namespace {

// Pictures larger than this on a side are refused rather than allocated.
constexpr double maxPixels = 16384;

struct SnapshotOptions {
    std::string out;
    GpuPolicy gpu = GpuPolicy::automatic;
    std::string gpuDifference;  // where to write |GPU − Cairo| per pixel, when asked
    Size size{1280, 720};
    double scale = 1;
    FloodmarkFrame frame = FloodmarkFrame::resting();
};

SurfaceMark markOf(std::string_view option, const std::string& text) {
    auto [age, position] = OptionValues::numberPair(option, text, ':');
    return SurfaceMark{.age = age, .position = position};
}

Size sizeOf(const std::string& text) {
    auto [width, height] = OptionValues::numberPair("--size", text, 'x');
    auto whole = [](double value) { return std::trunc(value) == value && value >= 1; };
    if (!whole(width) || !whole(height)) {
        OptionValues::reject("--size wants whole numbers of points, as 1280x720");
    }
    return {width, height};
}

// Five values joined by commas; "-" stands for an absent one.
SustainSeries sustainOf(const std::string& text) {
    SustainSeries values;
    std::string_view rest = text;
    while (values.size() < 6) {
        auto comma = rest.find(',');
        std::string item(rest.substr(0, comma));
        char* end = nullptr;
        double value = std::strtod(item.c_str(), &end);
        if (item == "-") {
            values.emplace_back();
        } else if (!item.empty() && end == item.c_str() + item.size() && std::isfinite(value)) {
            values.emplace_back(value);
        } else {
            break;
        }
        if (comma == std::string_view::npos) {
            rest = {};
            break;
        }
        rest.remove_prefix(comma + 1);
    }
    if (values.size() != 5 || !rest.empty()) {
        OptionValues::reject("--sustain wants five values joined by commas, '-' for none");
    }
    return values;
}

// Absent when the command should end at once with that status.
std::optional<int> parseSnapshotOptions(std::span<char* const> words, SnapshotOptions& options) {
    using namespace OptionValues;
    FloodmarkFrame& frame = options.frame;
    CLI::App parser("Draws one frame of the water, described by the options, to a PNG.",
                    "floodmark snapshot");
    parser.add_option("--out", options.out, "The PNG to write")->required();
    addOption(parser, "--size", "Points, WxH (default 1280x720)",
              [&](const std::string& text) { options.size = sizeOf(text); });
    addOption(parser, "--scale", "Pixels per point (default 1)",
              [&](const std::string& text) { options.scale = positiveNumber("--scale", text); });
    addOption(parser, "--y", "Water level",
              [&](const std::string& text) { frame.y = number("--y", text); });
    addOption(parser, "--x", "Surface activity",
              [&](const std::string& text) { frame.x = number("--x", text); });
    addOption(parser, "--severity", "Severity code (tint)", [&](const std::string& text) {
        frame.severity =
            static_cast<int>(std::clamp<long long>(integer("--severity", text), -1, 1000));
    });
    addOption(parser, "--style", "standard, still, bloom, unfold, mosaic or splinter",
              [&](const std::string& text) {
                  auto style = SaverStyle::fromRawValue(text);
                  if (!style) {
                      reject("--style wants standard, still, bloom, unfold, mosaic or splinter");
                  }
                  frame.style = *style;
              });
    addOption(parser, "--time", "Seconds of the scene's clock",
              [&](const std::string& text) { frame.time = number("--time", text); });
    addRepeatedOption(
        parser, "--ripple", "A ripple, AGE:POS (repeatable)",
        [&](const std::string& text) { frame.ripples.push_back(markOf("--ripple", text)); });
    addRepeatedOption(parser, "--pop", "A pop, AGE:POS (repeatable)", [&](const std::string& text) {
        frame.pops.push_back(markOf("--pop", text));
    });
    addOption(parser, "--clock", "The clock's text",
              [&](const std::string& text) { frame.clock = text; });
    addOption(parser, "--message", "The away message",
              [&](const std::string& text) { frame.message = text; });
    addOption(parser, "--chrome-alpha", "Opacity of the clock and message",
              [&](const std::string& text) { frame.chromeAlpha = number("--chrome-alpha", text); });
    addOption(parser, "--sustain", "Five values V,V,V,V,V ('-' for none)",
              [&](const std::string& text) { frame.sustain = sustainOf(text); });
    addOption(parser, "--depth", "Depth of work",
              [&](const std::string& text) { frame.depth = number("--depth", text); });
    parser.add_flag("--reduce-motion", frame.reduceMotion,
                    "As if the desktop asked for less motion");
    addGpuChoice(parser, options.gpu);
    parser.add_option("--gpu-diff", options.gpuDifference,
                      "Also write |GPU - Cairo| of each pixel to this PNG");
    if (auto exit = parseCommandLine(parser, words)) {
        return exit;
    }
    if (options.size.width * options.scale > maxPixels ||
        options.size.height * options.scale > maxPixels) {
        std::cerr << "floodmark snapshot: the picture may be at most 16384 pixels on a side\n";
        return 2;
    }
    return std::nullopt;
}

// The scene drawn by both renderers, and |GPU − Cairo| of each channel as a picture.
bool writeGpuDifference(const SnapshotOptions& options) {
    // Asking for the difference asks for the GPU's picture, whatever rasterises it.
    GpuDevice::setPolicy(GpuPolicy::forced);
    CairoCanvas gpu(options.size, options.scale);
    if (!drawSceneOnGpu(options.frame, gpu)) {
        return false;
    }
    CairoCanvas cairo(options.size, options.scale);
    cairo.draw([&](DrawingContext& context) {
        FloodmarkRenderer::drawScene(options.frame, context, options.size);
    });
    CairoCanvas difference(options.size, options.scale);
    difference.draw([&](DrawingContext& context) {
        context.setFillColor({0, 0, 0, 1});
        context.fillRect({0, 0, options.size.width, options.size.height});
    });
    unsigned char* data = cairo_image_surface_get_data(difference.surface());
    int stride = cairo_image_surface_get_stride(difference.surface());
    for (int row = 0; row < difference.pixelHeight(); ++row) {
        for (int column = 0; column < difference.pixelWidth(); ++column) {
            auto a = gpu.pixel(column, row);
            auto b = cairo.pixel(column, row);
            unsigned char* pixel = data + row * stride + column * 4;
            pixel[2] = static_cast<unsigned char>(std::abs(a[0] - b[0]));
            pixel[1] = static_cast<unsigned char>(std::abs(a[1] - b[1]));
            pixel[0] = static_cast<unsigned char>(std::abs(a[2] - b[2]));
        }
    }
    cairo_surface_mark_dirty(difference.surface());
    return difference.writePng(options.gpuDifference);
}

}  // namespace

int snapshotCommand(std::span<char* const> words) {
    SnapshotOptions options;
    if (auto exit = parseSnapshotOptions(words, options)) {
        return *exit;
    }
    registerBundledFonts();
    CairoCanvas canvas(options.size, options.scale);
    GpuDevice::setPolicy(options.gpu);
    bool onGpu = !options.frame.style.isCalm() && drawSceneOnGpu(options.frame, canvas);
    canvas.draw([&](DrawingContext& context) {
        if (!onGpu) {
            FloodmarkRenderer::drawScene(options.frame, context, options.size);
        }
        FloodmarkRenderer::drawChrome(options.frame, context, options.size);
    });
    if (!options.gpuDifference.empty() && !writeGpuDifference(options)) {
        std::cerr << "floodmark snapshot: no GPU picture to compare, or cannot write "
                  << options.gpuDifference << "\n";
        return 1;
    }
    if (!canvas.writePng(options.out)) {
        std::cerr << "floodmark snapshot: cannot write " << options.out << "\n";
        return 1;
    }
    return 0;
}

}  // namespace floodmark::app
