#include "FloodmarkSaver/feed/SharedFloodmarkFeed.h"
#include "app/Arguments.h"
#include "app/Commands.h"
#include "app/FrameJson.h"
#include "platform/kit/Time.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

namespace floodmark::app {

namespace {

struct FramesOptions {
    std::optional<long long> count;  // absent: until the process is stopped
    double interval = 1.0 / 30;
    bool simulated = false;
};

std::optional<FramesOptions> parseFramesOptions(Arguments& arguments) {
    FramesOptions options;
    while (!arguments.done() && !arguments.error()) {
        std::string_view word = arguments.nextWord();
        if (word == "--count") {
            options.count = arguments.positiveInteger(word);
        } else if (word == "--interval") {
            options.interval = arguments.positiveNumber(word).value_or(0);
        } else if (word == "--simulated") {
            options.simulated = true;
        } else {
            arguments.fail("unknown option '" + std::string(word) + "'");
        }
    }
    if (arguments.error()) {
        return std::nullopt;
    }
    return options;
}

}  // namespace

int framesCommand(std::span<char* const> words) {
    Arguments arguments(words);
    auto options = parseFramesOptions(arguments);
    if (!options) {
        std::cerr << "floodmark frames: " << *arguments.error() << "\n";
        return 2;
    }

    auto lease = SharedFloodmarkFeed::host()->acquire();
    using Steady = std::chrono::steady_clock;
    auto period = std::chrono::duration_cast<Steady::duration>(
        std::chrono::duration<double>(options->interval));
    auto nextWake = Steady::now();
    double simulatedNow = currentTime();

    for (long long index = 0; !options->count || index < *options->count; ++index) {
        double now = options->simulated ? simulatedNow : currentTime();
        FloodmarkFrame frame = lease->step(now, false);
        std::cout << frameJson(frame).dump() << std::endl;
        if (!std::cout) {
            break;  // the reader went away
        }
        if (options->simulated) {
            simulatedNow += options->interval;
        } else {
            nextWake += period;
            std::this_thread::sleep_until(nextWake);
        }
    }
    lease->release();
    return 0;
}

}  // namespace floodmark::app
