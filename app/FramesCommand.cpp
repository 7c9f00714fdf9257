#include "FloodmarkSaver/feed/SharedFloodmarkFeed.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/FrameJson.h"
#include "app/OptionValues.h"
#include "platform/kit/MainLoop.h"
#include "platform/kit/Time.h"
#include "platform/system/ReduceMotion.h"

#include <csignal>
#include <iostream>

namespace floodmark::app {

namespace {

struct FramesOptions {
    std::optional<long long> count;  // absent: until the process is stopped
    double interval = 1.0 / 30;
    bool simulated = false;
};

// Absent when the command should end at once with that status.
std::optional<int> parseFramesOptions(std::span<char* const> words, FramesOptions& options) {
    CLI::App parser(
        "Runs the saver's feed and prints one frame of the water per step as one "
        "JSON object per line.",
        "floodmark frames");
    addOption(parser, "--count", "Frames to print (default: until stopped)",
              [&](const std::string& text) {
                  options.count = OptionValues::positiveInteger("--count", text);
              });
    addOption(parser, "--interval", "Seconds between steps (default 1/30)",
              [&](const std::string& text) {
                  options.interval = OptionValues::positiveNumber("--interval", text);
              });
    parser.add_flag("--simulated", options.simulated,
                    "Step back to back on a clock advanced by the interval per step");
    return parseCommandLine(parser, words);
}

// Steps the lease and prints each frame; false once enough frames are out or nobody reads.
class FramePrinter {
public:
    FramePrinter(FloodmarkFeedLease& lease, std::optional<long long> count)
        : lease_(lease), remaining_(count), reduceMotion_(ReduceMotion::systemReaders()) {}

    bool printNext(double now) {
        // The desktop's setting, as the saver reads it; asked by the wall clock, which a
        // simulated run outpaces.
        bool reduceMotion = reduceMotion_.value(currentTime());
        std::cout << frameJson(lease_.step(now, reduceMotion)).dump() << std::endl;
        if (remaining_) {
            --*remaining_;
        }
        return std::cout && (!remaining_ || *remaining_ > 0);
    }

private:
    FloodmarkFeedLease& lease_;
    std::optional<long long> remaining_;
    ReduceMotionSetting reduceMotion_;
};

}  // namespace

int framesCommand(std::span<char* const> words) {
    FramesOptions options;
    if (auto exit = parseFramesOptions(words, options)) {
        return *exit;
    }

    // A reader that goes away (frames | head) ends the output like SIGTERM, not the process.
    std::signal(SIGPIPE, SIG_IGN);
    MainLoop& loop = MainLoop::main();
    bool interrupted = false;
    loop.onTerminationSignals([&] {
        interrupted = true;
        loop.stop();
    });

    // On a simulated clock the feed stamps arriving signals with that clock, as its steps are.
    double simulatedNow = currentTime();
    auto share = options.simulated
                     ? SharedFloodmarkFeed::make(
                           true,
                           [&] {
                               return std::make_shared<FloodmarkFeed>(
                                   FloodmarkFeed::Settings{.status = SaverStatus::shared(),
                                                           .clock = [&] { return simulatedNow; }},
                                   simulatedNow);
                           })
                     : SharedFloodmarkFeed::host();
    // The lease starts the feed: it binds the socket and follows the away-state file.
    auto lease = share->acquire();
    FramePrinter printer(*lease, options.count);
    if (options.simulated) {
        for (;; simulatedNow += options.interval) {
            // Signals that arrived meanwhile are ingested before each step.
            loop.runUntilIdle();
            if (interrupted || !printer.printNext(simulatedNow)) {
                break;
            }
        }
    } else if (printer.printNext(currentTime())) {
        auto timer = loop.every(options.interval, [&] {
            if (!printer.printNext(currentTime())) {
                loop.stop();
            }
        });
        loop.run();
    }
    // Releasing the last lease stops the feed: the socket goes, the calibration is written.
    lease->release();
    return 0;
}

}  // namespace floodmark::app
