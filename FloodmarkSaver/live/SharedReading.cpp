#include "FloodmarkSaver/live/SharedReading.h"

#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/common/JsonValue.h"
#include "FloodmarkSaver/common/WholeNumber.h"
#include "FloodmarkSaver/frame/ImpulseKind.h"
#include "FloodmarkSaver/live/LiveEvent.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/Files.h"
#include "platform/system/ReadFile.h"
#include "platform/system/RuntimeDirectory.h"

#include <sys/stat.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace floodmark {

namespace {

// A finite JSON number, as a double.
std::optional<double> finiteNumber(const nlohmann::json* value) {
    if (value == nullptr || !value->is_number()) {
        return std::nullopt;
    }
    double number = value->get<double>();
    return std::isfinite(number) ? std::optional(number) : std::nullopt;
}

// FNV-1a: a name for the socket that stays the same from build to build.
std::uint64_t stableHash(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (unsigned char byte : text) {
        hash = (hash ^ byte) * 1099511628211ULL;
    }
    return hash;
}

bool isOwnRegularFile(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           status.st_uid == geteuid();
}

}  // namespace

std::string SharedReading::pathFor(const std::string& socketPath) {
    if (const auto& runtime = runtimeDirectory()) {
        char name[48];
        std::snprintf(name, sizeof name, "/floodmark-%016llx.reading",
                      static_cast<unsigned long long>(stableHash(socketPath)));
        return *runtime + name;
    }
    std::string directory = parentDirectory(socketPath);
    return (directory == "/" ? "" : directory) + "/l.reading.json";
}

bool SharedReading::write(const std::string& path) const {
    nlohmann::json object = {
        {"schema", schema},
        {"at", at},
        {"y", reading.y},
        {"x", reading.x},
        {"awaiting", reading.awaiting},
        {"impulseSerial", impulseSerial},
        {"impulseAt", impulseAt},
    };
    if (impulse) {
        object["impulse"] = impulse->rawValue();
    }
    if (reading.stopped) {
        object["stopped"] = *reading.stopped;
    }
    return writeFileAtomically(path, object.dump(), false);
}

std::optional<SharedReading> SharedReading::read(const std::string& path, double now) {
    // Another user's file is not followed, nor one that a link points at.
    if (!isOwnRegularFile(path)) {
        return std::nullopt;
    }
    auto content = readSmallFile(path, maxFileBytes);
    auto object = content ? parseJsonText(*content) : nlohmann::json();
    auto version = finiteNumber(member(object, "schema"));
    auto at = finiteNumber(member(object, "at"));
    auto y = finiteNumber(member(object, "y"));
    auto x = finiteNumber(member(object, "x"));
    if (version != schema || !at || !y || !x || !(std::fabs(now - *at) <= freshFor)) {
        return std::nullopt;
    }
    SharedReading shared;
    shared.at = *at;
    shared.reading.y = std::clamp(*y, 0.0, 1.0);
    shared.reading.x = std::clamp(*x, 0.0, 1.0);
    if (auto awaiting = finiteNumber(member(object, "awaiting"))) {
        shared.reading.awaiting = std::max(wholePart<long long>(*awaiting), 0LL);
    }
    if (auto stopped = textOf(member(object, "stopped"));
        stopped && (*stopped == StoppedKind::rateLimit || *stopped == StoppedKind::error)) {
        shared.reading.stopped = std::string(*stopped);
    }
    if (auto serial = finiteNumber(member(object, "impulseSerial")); serial && *serial >= 0) {
        shared.impulseSerial = wholePart<std::int64_t>(*serial);
    }
    auto kind = ImpulseKind::from(member(object, "impulse"));
    auto impulseAt = finiteNumber(member(object, "impulseAt"));
    if (kind && impulseAt) {
        shared.impulse = *kind;
        shared.impulseAt = *impulseAt;
    }
    return shared;
}

}  // namespace floodmark
