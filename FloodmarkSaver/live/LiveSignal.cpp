#include "FloodmarkSaver/live/LiveSignal.h"
#include "FloodmarkSaver/common/JsonText.h"

#include "FloodmarkSaver/common/JsonValue.h"
#include "FloodmarkSaver/common/WholeNumber.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace floodmark {

namespace {

using nlohmann::json;

json parseLine(std::string_view line) {
    return parseJsonText(line);
}

std::optional<std::string_view> nonEmptyText(const json* value) {
    auto text = textOf(value);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    return text;
}

// A JSON number that is not a boolean, as a double.
std::optional<double> plainNumber(const json* value) {
    if (value == nullptr || !value->is_number()) {
        return std::nullopt;
    }
    return value->get<double>();
}

std::optional<std::int64_t> readBackgroundTasks(const json* value) {
    std::optional<double> number;
    if (value != nullptr && value->is_boolean()) {
        number = value->get<bool>() ? 1.0 : 0.0;
    } else {
        number = plainNumber(value);
    }
    if (!number || !std::isfinite(*number)) {
        return std::nullopt;
    }
    return std::max(wholePart<std::int64_t>(*number), std::int64_t{0});
}

std::optional<std::int64_t> readPid(const json* value) {
    auto number = plainNumber(value);
    if (!number || !(*number >= 2) || !isWhole<std::int64_t>(*number)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(*number);
}

std::optional<std::string> readErrorKind(const json* value) {
    auto text = textOf(value);
    if (text && (*text == StoppedKind::rateLimit || *text == StoppedKind::error)) {
        return std::string(*text);
    }
    return std::nullopt;
}

std::optional<double> readResumesAt(const json* value) {
    auto number = plainNumber(value);
    if (!number || !std::isfinite(*number) || !(*number > 0)) {
        return std::nullopt;
    }
    return number;
}

}  // namespace

std::optional<LiveSignal> LiveSignal::fromJson(const json& object) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    auto eventText = textOf(member(object, "event"));
    auto event = eventText ? LiveEvent::fromRawValue(*eventText) : std::nullopt;
    auto tool = nonEmptyText(member(object, "tool"));
    auto session = nonEmptyText(member(object, "session"));
    // Names longer than any agent's would only let a client make every queued signal and
    // every kept session huge.
    if (!event || !tool || !session || tool->size() > maxTextBytes ||
        session->size() > maxTextBytes) {
        return std::nullopt;
    }
    LiveSignal signal{
        .tool = std::string(*tool), .session = std::string(*session), .event = *event};
    signal.backgroundTasks = readBackgroundTasks(member(object, "backgroundTasks"));
    signal.pid = readPid(member(object, "pid"));
    if (*event == LiveEvent::halted) {
        signal.errorKind = readErrorKind(member(object, "errorKind"));
    }
    if (signal.errorKind == StoppedKind::rateLimit) {
        signal.resumesAt = readResumesAt(member(object, "resumesAt"));
    }
    if (auto bucket = textOf(member(object, "sizeBucket"));
        bucket && bucket->size() <= maxTextBytes) {
        signal.sizeBucket = std::string(*bucket);
    }
    return signal;
}

std::optional<std::string> LiveSignal::pingSessionOf(const json& object) {
    auto event = textOf(member(object, "event"));
    auto session = nonEmptyText(member(object, "session"));
    if (event != "ping" || !session) {
        return std::nullopt;
    }
    return std::string(*session);
}

bool LiveSignal::namesUnknownEventIn(const json& object) {
    auto event = textOf(member(object, "event"));
    return event && *event != "ping" && !LiveEvent::fromRawValue(*event);
}

bool LiveSignal::namesOverlongTextIn(const json& object) {
    auto event = textOf(member(object, "event"));
    auto tool = nonEmptyText(member(object, "tool"));
    auto session = nonEmptyText(member(object, "session"));
    return event && LiveEvent::fromRawValue(*event) && tool && session &&
           (tool->size() > maxTextBytes || session->size() > maxTextBytes);
}

std::optional<LiveSignal> LiveSignal::tryParse(std::string_view line) {
    return fromJson(parseLine(line));
}

std::optional<std::string> LiveSignal::pingSession(std::string_view line) {
    return pingSessionOf(parseLine(line));
}

bool LiveSignal::namesUnknownEvent(std::string_view line) {
    return namesUnknownEventIn(parseLine(line));
}

std::string LiveSignal::streamKey() const {
    if (pid) {
        return tool + "/pid:" + std::to_string(*pid);
    }
    return tool + "/" + session;
}

bool LiveSignal::leftBackgroundWork() const {
    return event == LiveEvent::stop && backgroundTasks && *backgroundTasks > 0;
}

std::optional<double> LiveSignal::resumeHoldUntil(double now) const {
    if (!resumesAt || !(*resumesAt > now) || *resumesAt - now > resumeHorizon) {
        return std::nullopt;
    }
    return *resumesAt + resumeGrace;
}

}  // namespace floodmark
