#include "FloodmarkSaver/gpu/GpuPicture.h"
#include "FloodmarkSaver/scene/FloodmarkRenderer.h"
#include "app/Arguments.h"
#include "app/Commands.h"
#include "app/GpuChoice.h"
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

std::optional<SurfaceMark> markOf(Arguments& arguments, std::string_view option) {
    auto pair = arguments.numberPair(option, ':');
    if (!pair) {
        return std::nullopt;
    }
    return SurfaceMark{.age = pair->first, .position = pair->second};
}

void readSize(Arguments& arguments, std::string_view option, Size& size) {
    auto pair = arguments.numberPair(option, 'x');
    if (!pair) {
        return;
    }
    auto whole = [](double value) { return std::trunc(value) == value && value >= 1; };
    if (!whole(pair->first) || !whole(pair->second)) {
        arguments.fail(std::string(option) + " wants whole numbers of points, as 1280x720");
        return;
    }
    size = {pair->first, pair->second};
}

// Five values joined by commas; "-" stands for an absent one.
void readSustain(Arguments& arguments, std::string_view option, SustainSeries& sustain) {
    auto text = arguments.valueOf(option);
    if (!text) {
        return;
    }
    SustainSeries values;
    std::string_view rest = *text;
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
        arguments.fail(std::string(option) + " wants five values joined by commas, '-' for none");
        return;
    }
    sustain = values;
}

void readOption(Arguments& arguments, std::string_view word, SnapshotOptions& options) {
    FloodmarkFrame& frame = options.frame;
    if (word == "--out") {
        options.out = std::string(arguments.valueOf(word).value_or(""));
    } else if (word == "--size") {
        readSize(arguments, word, options.size);
    } else if (word == "--scale") {
        options.scale = arguments.positiveNumber(word).value_or(1);
    } else if (word == "--y") {
        frame.y = arguments.number(word).value_or(0);
    } else if (word == "--x") {
        frame.x = arguments.number(word).value_or(0);
    } else if (word == "--severity") {
        auto severity = arguments.integer(word).value_or(-1);
        frame.severity = static_cast<int>(std::clamp<long long>(severity, -1, 1000));
    } else if (word == "--style") {
        auto name = arguments.valueOf(word).value_or("");
        if (auto style = SaverStyle::fromRawValue(name)) {
            frame.style = *style;
        } else {
            arguments.fail("--style wants standard, still, bloom, unfold, mosaic or splinter");
        }
    } else if (word == "--time") {
        frame.time = arguments.number(word).value_or(0);
    } else if (word == "--ripple") {
        if (auto mark = markOf(arguments, word)) {
            frame.ripples.push_back(*mark);
        }
    } else if (word == "--pop") {
        if (auto mark = markOf(arguments, word)) {
            frame.pops.push_back(*mark);
        }
    } else if (word == "--clock") {
        frame.clock = std::string(arguments.valueOf(word).value_or(""));
    } else if (word == "--message") {
        frame.message = std::string(arguments.valueOf(word).value_or(""));
    } else if (word == "--chrome-alpha") {
        frame.chromeAlpha = arguments.number(word).value_or(1);
    } else if (word == "--sustain") {
        readSustain(arguments, word, frame.sustain);
    } else if (word == "--depth") {
        frame.depth = arguments.number(word).value_or(0);
    } else if (readGpuChoice(word, options.gpu)) {
    } else if (word == "--gpu-diff") {
        options.gpuDifference = std::string(arguments.valueOf(word).value_or(""));
    } else if (word == "--reduce-motion") {
        frame.reduceMotion = true;
    } else {
        arguments.fail("unknown option '" + std::string(word) + "'");
    }
}

SnapshotOptions parseSnapshotOptions(Arguments& arguments) {
    SnapshotOptions options;
    arguments.readEach([&](std::string_view word) { readOption(arguments, word, options); });
    if (!arguments.error() && options.out.empty()) {
        arguments.fail("--out FILE.png is required");
    }
    if (!arguments.error() && (options.size.width * options.scale > maxPixels ||
                               options.size.height * options.scale > maxPixels)) {
        arguments.fail("the picture may be at most 16384 pixels on a side");
    }
    return options;
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
    Arguments arguments(words);
    auto options = parseSnapshotOptions(arguments);
    if (arguments.error()) {
        return arguments.reportError("snapshot");
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
