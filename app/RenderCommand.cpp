#include "FloodmarkSaver/view/FloodmarkSaverView.h"
#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/GpuChoice.h"
#include "app/OptionValues.h"
#include "platform/headless/HeadlessHost.h"
#include "platform/kit/MainLoop.h"
#include "platform/kit/Time.h"
#include "platform/system/Files.h"

#include <cmath>
#include <cstdio>
#include <iostream>

namespace floodmark::app {

namespace {

struct RenderOptions {
    std::string out;
    std::vector<HeadlessHost::ViewLayout> views;
    double seconds = 5;
    bool simulated = false;
    std::optional<double> fps;  // absent: every picture drawn
    bool locked = false;
    bool reduceMotion = false;
    GpuPolicy gpu = GpuPolicy::automatic;
};

// "WxH", then "@K" for the scale and ",preview" for a preview view.
std::optional<HeadlessHost::ViewLayout> parseView(std::string_view text) {
    HeadlessHost::ViewLayout layout;
    if (text.ends_with(",preview")) {
        layout.preview = true;
        text.remove_suffix(8);
    }
    double width = 0;
    double height = 0;
    double scale = 1;
    char x = 0;
    std::string owned(text);
    int consumed = 0;
    int fields = std::sscanf(owned.c_str(), "%lf%c%lf%n", &width, &x, &height, &consumed);
    if (fields != 3 || x != 'x') {
        return std::nullopt;
    }
    std::string rest = owned.substr(static_cast<std::size_t>(consumed));
    if (!rest.empty()) {
        int scaleConsumed = 0;
        if (std::sscanf(rest.c_str(), "@%lf%n", &scale, &scaleConsumed) != 1 ||
            scaleConsumed != static_cast<int>(rest.size())) {
            return std::nullopt;
        }
    }
    auto whole = [](double value) { return std::trunc(value) == value && value >= 1; };
    if (!whole(width) || !whole(height) || !(scale > 0) || width * scale > 16384 ||
        height * scale > 16384) {
        return std::nullopt;
    }
    layout.size = {width, height};
    layout.scale = scale;
    return layout;
}

// Absent when the command should end at once with that status.
std::optional<int> parseRenderOptions(std::span<char* const> words, RenderOptions& options) {
    CLI::App parser(
        "Runs saver views without a display, on the real feed, and writes each "
        "picture they draw as DIR/viewN-NNNNN.png.",
        "floodmark render");
    parser.add_option("--out", options.out, "The folder of the pictures")->required();
    addRepeatedOption(
        parser, "--view", "A view: WxH[@K][,preview] (default one of 1280x720)",
        [&](const std::string& text) {
            auto layout = parseView(text);
            if (!layout) {
                OptionValues::reject("--view wants WxH[@K][,preview], as 1280x720@2, not '" + text +
                                     "'");
            }
            options.views.push_back(*layout);
        });
    addOption(parser, "--seconds", "How long to run (default 5)", [&](const std::string& text) {
        options.seconds = OptionValues::positiveNumber("--seconds", text);
    });
    parser.add_flag("--simulated", options.simulated, "A clock that jumps from tick to tick");
    addOption(parser, "--fps", "At most this many pictures a second of the run's clock",
              [&](const std::string& text) {
                  options.fps = OptionValues::positiveNumber("--fps", text);
              });
    parser.add_flag("--locked", options.locked, "As if the session were locked");
    parser.add_flag("--reduce-motion", options.reduceMotion,
                    "As if the desktop asked for less motion");
    addGpuChoice(parser, options.gpu);
    auto exit = parseCommandLine(parser, words);
    if (options.views.empty()) {
        options.views.push_back({.size = {1280, 720}, .scale = 1});
    }
    return exit;
}

std::string describe(const HeadlessHost::ViewLayout& layout) {
    char text[96];
    std::snprintf(text, sizeof text, "%gx%g@%g%s", layout.size.width, layout.size.height,
                  layout.scale, layout.preview ? " preview" : "");
    return text;
}

}  // namespace

int renderCommand(std::span<char* const> words) {
    RenderOptions options;
    if (auto exit = parseRenderOptions(words, options)) {
        return *exit;
    }
    GpuDevice::setPolicy(options.gpu);
    if (!createDirectories(options.out, 0755)) {
        std::cerr << "floodmark render: cannot make " << options.out << "\n";
        return 1;
    }

    HeadlessHost host({.simulated = options.simulated,
                       .startTime = currentTime(),
                       .locked = options.locked,
                       .reduceMotion = options.reduceMotion},
                      FloodmarkSaverView::make);
    for (const auto& layout : options.views) {
        host.addView(layout);
    }
    MainLoop::main().onTerminationSignals([&host] { host.stop(); });

    const double start = host.now();
    std::vector<long long> written(options.views.size(), 0);
    std::vector<double> nextSample(options.views.size(), start);
    bool writeFailed = false;
    host.startAll();
    host.run(options.seconds, [&](std::size_t index, const CairoCanvas& picture, double now) {
        if (options.fps) {
            if (now < nextSample[index]) {
                return;
            }
            while (nextSample[index] <= now) {
                nextSample[index] += 1 / *options.fps;
            }
        }
        char name[64];
        std::snprintf(name, sizeof name, "/view%zu-%05lld.png", index + 1, written[index]++);
        writeFailed = !picture.writePng(options.out + name) || writeFailed;
    });
    // Stopping the views releases the feed: the socket goes and the calibration is written.
    host.stopAll();

    for (std::size_t index = 0; index < host.viewCount(); ++index) {
        const auto& stats = host.stats(index);
        double slowShare = stats.ticks ? 100.0 * stats.slowTicks / stats.ticks : 0;
        std::printf("view %zu %s: %lld ticks, %lld pictures drawn, %.0f%% of ticks slow\n",
                    index + 1, describe(host.layout(index)).c_str(), stats.ticks, stats.pictures,
                    slowShare);
    }
    if (writeFailed) {
        std::cerr << "floodmark render: some pictures could not be written to " << options.out
                  << "\n";
        return 1;
    }
    return 0;
}

}  // namespace floodmark::app
