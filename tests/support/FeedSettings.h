#pragma once

#include "FloodmarkSaver/feed/FloodmarkFeed.h"
#include "support/TempDirectory.h"

namespace floodmark::fixtures {

// Settings whose files and socket all lie in `directory`, so that no test touches the user's.
inline FloodmarkFeed::Settings isolatedSettings(const TempDirectory& directory,
                                                bool preview = false,
                                                std::shared_ptr<SaverStatus> status = nullptr) {
    return {
        .statePath = directory.file("away_state.json"),
        .socketPath = directory.file("live.sock"),
        .calibrationPath = directory.file("state/calibration.json"),
        .preview = preview,
        .status = std::move(status),
    };
}

}  // namespace floodmark::fixtures
