#include "FloodmarkSaver/feed/SharedFloodmarkFeed.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "app/Arguments.h"
#include "app/Commands.h"
#include "app/FrameJson.h"
#include "platform/kit/MainLoop.h"
#include "platform/kit/Time.h"

#include <csignal>
#include <iostream>

namespace floodmark::app {

namespace {

struct FramesOptions {
    std::optional<long long> count;  // absent: until the process is stopped
    double interval = 1.0 / 30;
    bool simulated = false;
};

FramesOptions parseFramesOptions(Arguments& arguments) {
    FramesOptions options;
    arguments.readEach([&](std::string_view word) {
        if (word == "--count") {
            options.count = arguments.positiveInteger(word);
        } else if (word == "--interval") {
            options.interval = arguments.positiveNumber(word).value_or(0);
        } else if (word == "--simulated") {
            options.simulated = true;
        } else {
            arguments.fail("unknown option '" + std::string(word) + "'");
        }
    });
    return options;
}

// Steps the lease and prints each frame; false once enough frames are out or nobody reads.
class FramePrinter {
public:
    FramePrinter(FloodmarkFeedLease& lease, std::optional<long long> count)
        : lease_(lease), remaining_(count) {}

    bool printNext(double now) {
        std::cout << frameJson(lease_.step(now, false)).dump() << std::endl;
        if (remaining_) {
            --*remaining_;
        }
        return std::cout && (!remaining_ || *remaining_ > 0);
    }

private:
    FloodmarkFeedLease& lease_;
    std::optional<long long> remaining_;
};

}  // namespace

int framesCommand(std::span<char* const> words) {
    Arguments arguments(words);
    auto options = parseFramesOptions(arguments);
    if (arguments.error()) {
        return arguments.reportError("frames");
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
