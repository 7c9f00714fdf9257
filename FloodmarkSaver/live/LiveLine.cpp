#include "FloodmarkSaver/live/LiveLine.h"
#include "FloodmarkSaver/common/JsonText.h"

#include <nlohmann/json.hpp>

namespace floodmark {

LiveLine LiveLine::classify(std::string_view line) {
    // The parser rejects text that is not valid UTF-8, so such a line is ignored.
    auto object = parseJsonText(line);
    if (!object.is_object()) {
        return {};
    }
    if (auto signal = LiveSignal::fromJson(object)) {
        return {.kind = Kind::signal, .signal = std::move(signal)};
    }
    if (auto session = LiveSignal::pingSessionOf(object)) {
        return {.kind = Kind::ping, .session = std::move(session)};
    }
    if (LiveSignal::namesUnknownEventIn(object)) {
        return {.kind = Kind::unknownEvent};
    }
    if (LiveSignal::namesOverlongTextIn(object)) {
        return {.kind = Kind::overlong};
    }
    return {};
}

}  // namespace floodmark
