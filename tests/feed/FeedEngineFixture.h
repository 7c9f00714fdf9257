#pragma once

#include "FloodmarkSaver/feed/FloodmarkFeed.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "platform/kit/InternetTime.h"
#include "platform/kit/MainLoop.h"
#include "support/FeedSettings.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

namespace floodmark {

// Feeds on real files and a real socket in a temporary directory. Times near the real clock,
// because start() binds at the current time.
class FeedEngineTest : public ::testing::Test {
protected:
    std::shared_ptr<FloodmarkFeed> makeFeed(bool preview = false) {
        return std::make_shared<FloodmarkFeed>(
            fixtures::isolatedSettings(directory, preview, status), t0);
    }
    void writeAwayState(double updatedAt, const std::string& extra = "") {
        fixtures::writeFile(settings().statePath,
                            R"({"schema":1,"y":0.8,"x":0.5,"severity":3,"updatedAt":")" +
                                formatInternetTime(updatedAt) + "\"" + extra + "}");
    }
    nlohmann::json statusFile() {
        return nlohmann::json::parse(std::ifstream(status->filePath()), nullptr, false);
    }
    // Runs the work the bus posted until `condition` holds.
    template <typename Condition>
    bool deliveredUntil(Condition condition) {
        return fixtures::waitUntil([&] {
            MainLoop::main().runUntilIdle();
            return condition();
        });
    }
    FloodmarkFeed::Settings settings() { return fixtures::isolatedSettings(directory); }

    fixtures::TempDirectory directory;
    std::shared_ptr<SaverStatus> status =
        std::make_shared<SaverStatus>(directory.file("status"), 77);
    double t0 = currentTime();
};

}  // namespace floodmark
