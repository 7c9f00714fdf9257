#include "FloodmarkSaver/status/SaverStatus.h"

#include <nlohmann/json.hpp>

#include "platform/kit/InternetTime.h"
#include "platform/system/ApplicationDirectory.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/PrivateDirectory.h"

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace floodmark {

namespace {

template <typename Value>
void putIfPresent(nlohmann::json& object, const char* key, const std::optional<Value>& value) {
    if (value) {
        object[key] = *value;
    }
}

void putStampIfPresent(nlohmann::json& object, const char* key, const std::optional<double>& time) {
    if (time) {
        object[key] = SaverStatus::stamp(*time);
    }
}

}  // namespace

SaverStatus::SaverStatus(std::string directory, std::int32_t pid)
    : directory_(std::move(directory)), pid_(pid) {}

namespace {

std::shared_ptr<SaverStatus>& installedStatus() {
    static auto status = std::make_shared<SaverStatus>(SaverStatus::defaultDirectory(),
                                                       static_cast<std::int32_t>(getpid()));
    return status;
}

}  // namespace

const std::shared_ptr<SaverStatus>& SaverStatus::shared() {
    return installedStatus();
}

void SaverStatus::install(std::shared_ptr<SaverStatus> status) {
    if (status) {
        installedStatus() = std::move(status);
    }
}

const std::string& SaverStatus::defaultDirectory() {
    static const std::string directory = applicationDirectory() + "/status";
    return directory;
}

std::string SaverStatus::filePath() const {
    return directory_ + "/" + std::to_string(pid_) + ".json";
}

std::string SaverStatus::stamp(double time) {
    return formatInternetTime(time);
}

void SaverStatus::heartbeat(double now) {
    double interval = writePending_ ? minWriteInterval : heartbeatInterval;
    if (now - lastWrite_ >= interval || now < lastWrite_) {
        write(now);
    }
}

void SaverStatus::writeSoon(double now) {
    if (now - lastWrite_ >= minWriteInterval || now < lastWrite_) {
        write(now);
    } else {
        writePending_ = true;
    }
}

void SaverStatus::write(double now) {
    // Set first, so that a failed write also waits for the next heartbeat.
    lastWrite_ = now;
    writePending_ = false;
    // A linked folder is not ours: pruning there would delete other programs' files.
    PrivateDirectory folder(directory_);
    if (!folder.isOpen()) {
        return;
    }
    if (!pruned_) {
        prune(folder.descriptor(), now);
    }
    // nlohmann's objects keep their keys sorted.
    std::string bytes = toJson(now).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    // Diagnostics, rewritten often: never worth a flush to disk.
    writeFileAtomicallyAt(folder.descriptor(), std::to_string(pid_) + ".json", bytes, false);
}

void SaverStatus::prune(int folder, double now) {
    pruned_ = true;
    int listingDescriptor = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = listingDescriptor >= 0 ? fdopendir(listingDescriptor) : nullptr;
    if (listing == nullptr) {
        if (listingDescriptor >= 0) {
            close(listingDescriptor);
        }
        return;
    }
    const std::string ownName = std::to_string(pid_) + ".json";
    while (const dirent* entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (name == ownName) {
            continue;
        }
        struct stat status {};
        if (fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode)) {
            continue;
        }
        double age = now - (static_cast<double>(status.st_mtim.tv_sec) +
                            static_cast<double>(status.st_mtim.tv_nsec) / 1e9);
        // A process killed mid-write leaves its temporary: nobody else would ever sweep it.
        if ((name.ends_with(".json") && age > pruneAfter) || isAbandonedTemporary(name, age)) {
            unlinkat(folder, name.c_str(), 0);
        }
    }
    closedir(listing);
}

void SaverStatus::viewOpened(bool preview, double now) {
    ++(preview ? record_.previewViews : record_.saverViews);
    write(now);
}

void SaverStatus::viewClosed(bool preview, double now) {
    std::int64_t& count = preview ? record_.previewViews : record_.saverViews;
    count = std::max<std::int64_t>(count - 1, 0);
    write(now);
}

void SaverStatus::feedArbitrated(FeedMode mode, bool ownsBus, bool following) {
    record_.mode = mode;
    record_.ownsBus = ownsBus;
    record_.following = following;
}

void SaverStatus::busReleased(double now) {
    record_.ownsBus = false;
    write(now);
}

void SaverStatus::boundSocket(const std::string& path, std::int64_t replayed, double now) {
    record_.ownsBus = true;
    record_.mode = FeedMode::live;
    record_.socketPath = path;
    record_.boundAt = now;
    record_.replayed = replayed;
    write(now);
}

void SaverStatus::bindRefused(double now) {
    record_.bindRefusedAt = now;
}

void SaverStatus::heldSignalsReplayed(std::int64_t count) {
    record_.replayed += count;
}

void SaverStatus::signalReceived(std::string_view event, double at) {
    ++record_.signals;
    record_.lastSignalAt = at;
    record_.lastSignalEvent = std::string(event);
}

void SaverStatus::pingReceived(std::string_view session, double at) {
    record_.lastPingAt = at;
    record_.lastPingSession = std::string(session.substr(0, maxClientTextBytes));
    writeSoon(at);
}

void SaverStatus::unknownEventReceived() {
    ++record_.unknownEvents;
}

void SaverStatus::inputDropped(const Dropped& dropped) {
    record_.droppedLines += dropped.lines;
    record_.closedClients += dropped.closedClients;
    record_.evictedSessions += dropped.evictedSessions;
    record_.refusedPeers += dropped.refusedPeers;
}

void SaverStatus::drawsWithCairo(std::string reason) {
    record_.cairoReason = std::move(reason);
}

void SaverStatus::recordDrawMiss(std::optional<DrawMiss> miss, double now) {
    ++record_.drawMisses;
    record_.lastDrawMiss = miss;
    record_.lastDrawMissAt = now;
}

void SaverStatus::recordFallback(double now) {
    ++record_.metalFallbacks;
    record_.lastFallbackAt = now;
    write(now);
}

nlohmann::json SaverStatus::toJson(double now) const {
    nlohmann::json object = {
        {"schema", schema},
        {"pid", pid_},
        {"updatedAt", stamp(now)},
        {"previewViews", record_.previewViews},
        {"saverViews", record_.saverViews},
        {"ownsBus", record_.ownsBus},
        {"following", record_.following},
        {"signals", record_.signals},
        {"unknownEvents", record_.unknownEvents},
        {"replayed", record_.replayed},
        {"drawMisses", record_.drawMisses},
        {"metalFallbacks", record_.metalFallbacks},
        {"caughtExceptions", record_.caughtExceptions},
        {"droppedLines", record_.droppedLines},
        {"closedClients", record_.closedClients},
        {"evictedSessions", record_.evictedSessions},
        {"refusedPeers", record_.refusedPeers},
        {"version", FLOODMARK_VERSION},
    };
    putStampIfPresent(object, "bindRefusedAt", record_.bindRefusedAt);
    putIfPresent(object, "cairoReason", record_.cairoReason);
    putStampIfPresent(object, "boundAt", record_.boundAt);
    if (record_.lastDrawMiss) {
        object["lastDrawMiss"] = record_.lastDrawMiss->rawValue();
    }
    putStampIfPresent(object, "lastDrawMissAt", record_.lastDrawMissAt);
    putStampIfPresent(object, "lastFallbackAt", record_.lastFallbackAt);
    putStampIfPresent(object, "lastPingAt", record_.lastPingAt);
    putIfPresent(object, "lastPingSession", record_.lastPingSession);
    putStampIfPresent(object, "lastSignalAt", record_.lastSignalAt);
    putIfPresent(object, "lastSignalEvent", record_.lastSignalEvent);
    if (record_.mode) {
        object["mode"] = record_.mode->rawValue();
    }
    putIfPresent(object, "socketPath", record_.socketPath);
    return object;
}

}  // namespace floodmark
