#include "app/FrameJson.h"

namespace floodmark::app {

namespace {

nlohmann::ordered_json marksJson(const std::vector<SurfaceMark>& marks) {
    auto list = nlohmann::ordered_json::array();
    for (const auto& mark : marks) {
        list.push_back({mark.age, mark.position});
    }
    return list;
}

}  // namespace

nlohmann::ordered_json frameJson(const FloodmarkFrame& frame) {
    auto sustain = nlohmann::ordered_json::array();
    for (const auto& value : frame.sustain) {
        sustain.push_back(value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json());
    }
    return {
        {"y", frame.y},
        {"x", frame.x},
        {"severity", frame.severity},
        {"style", frame.style.rawValue()},
        {"time", frame.time},
        {"ripples", marksJson(frame.ripples)},
        {"pops", marksJson(frame.pops)},
        {"clock", frame.clock},
        {"message",
         frame.message ? nlohmann::ordered_json(*frame.message) : nlohmann::ordered_json()},
        {"chromeAlpha", frame.chromeAlpha},
        {"reduceMotion", frame.reduceMotion},
        {"depth", frame.depth},
        {"sustain", sustain},
    };
}

}  // namespace floodmark::app
