#pragma once

#include "FloodmarkSaver/live/LiveDemandCalibration.h"
#include "platform/kit/Time.h"

#include <memory>
#include <string>

namespace floodmark {

// Keeps the feed's learned week on disk: restored once, written while the feed learns (every
// FloodmarkFeed::calibrationSaveInterval, so that a crash or a kill loses no more) and when it
// stops. Only a feed that owned the socket has learned anything worth writing.
class CalibrationKeeper {
public:
    explicit CalibrationKeeper(std::string path);

    // The week in the file. A file that is there but cannot be read whole (unreadable, too
    // large, not JSON, another schema: a newer or older Floodmark's) is kept aside as NAME.bad,
    // replacing an older one, rather than overwritten with a fresh week later.
    std::shared_ptr<LiveDemandCalibration> restore() const;
    // The socket was bound at `now`: from here on the calibration learns.
    void learningFrom(double now);
    // Writes `calibration` when learning and the save interval has passed.
    void keepWhenDue(const LiveDemandCalibration& calibration, double now);
    // Writes `calibration` if it ever learned; at stop.
    void keepIfLearned(const LiveDemandCalibration& calibration, double now);

private:
    void write(const LiveDemandCalibration& calibration, double now);

    std::string path_;
    bool learned_ = false;
    double savedAt_ = distantPast;
};

}  // namespace floodmark
