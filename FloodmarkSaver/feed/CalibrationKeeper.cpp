#include "FloodmarkSaver/feed/CalibrationKeeper.h"

#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/feed/FloodmarkFeed.h"
#include "FloodmarkSaver/feed/Pace.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/Files.h"
#include "platform/system/PrivateDirectory.h"
#include "platform/system/ReadFile.h"

#include <sys/stat.h>

#include <cstdio>

namespace floodmark {

CalibrationKeeper::CalibrationKeeper(std::string path) : path_(std::move(path)) {}

std::shared_ptr<LiveDemandCalibration> CalibrationKeeper::restore() const {
    struct stat existing {};
    if (lstat(path_.c_str(), &existing) != 0) {
        return std::make_shared<LiveDemandCalibration>();
    }
    auto content = readSmallFile(path_, FloodmarkFeed::maxCalibrationBytes);
    auto object = content ? parseJsonText(*content) : nlohmann::json();
    if (object.is_object() && LiveDemandCalibration::isOfThisSchema(object)) {
        return std::make_shared<LiveDemandCalibration>(&object);
    }
    std::rename(path_.c_str(), (path_ + ".bad").c_str());
    return std::make_shared<LiveDemandCalibration>();
}

void CalibrationKeeper::learningFrom(double now) {
    learned_ = true;
    savedAt_ = now;
}

void CalibrationKeeper::keepWhenDue(const LiveDemandCalibration& calibration, double now) {
    if (learned_ && isDue(now, savedAt_, FloodmarkFeed::calibrationSaveInterval)) {
        write(calibration, now);
    }
}

void CalibrationKeeper::keepIfLearned(const LiveDemandCalibration& calibration, double now) {
    if (learned_) {
        write(calibration, now);
    }
}

void CalibrationKeeper::write(const LiveDemandCalibration& calibration, double now) {
    savedAt_ = now;
    // Never through a link at the application's folder: the file is ours alone.
    PrivateDirectory folder(parentDirectory(path_));
    if (!folder.isOpen()) {
        return;
    }
    std::string bytes =
        calibration.toJson().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    // Atomic, so that a crash mid-write cannot cost the week of learning.
    std::string name = path_.substr(path_.rfind('/') + 1);
    writeFileAtomicallyAt(folder.descriptor(), name, bytes);
}

}  // namespace floodmark
