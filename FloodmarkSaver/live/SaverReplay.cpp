#include "FloodmarkSaver/live/SaverReplay.h"
#include "FloodmarkSaver/common/JsonText.h"

#include "FloodmarkSaver/common/JsonValue.h"
#include "platform/system/Files.h"
#include "platform/system/ReadFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace floodmark::SaverReplay {

std::string path(const std::string& socketPath) {
    std::string directory = parentDirectory(socketPath);
    return directory == "/" ? "/l.replay.json" : directory + "/l.replay.json";
}

std::vector<HeldSignal> read(const std::string& path, double now) {
    auto content = readSmallFile(path, maxFileBytes);
    return content ? fromText(*content, now) : std::vector<HeldSignal>();
}

std::vector<HeldSignal> fromText(std::string_view text, double now) {
    auto file = parseJsonText(text);
    const auto* version = member(file, "schema");
    if (version == nullptr || !version->is_number() || version->get<double>() != schema) {
        return {};
    }
    const auto* signals = member(file, "signals");
    if (signals == nullptr || !signals->is_array() ||
        !std::all_of(signals->begin(), signals->end(),
                     [](const nlohmann::json& entry) { return entry.is_object(); })) {
        return {};
    }

    std::vector<HeldSignal> held;
    for (const auto& entry : *signals) {
        const auto* stamp = member(entry, "at");
        if (stamp == nullptr || !stamp->is_number()) {
            continue;
        }
        double at = stamp->get<double>() / 1000;
        if (!(at <= now && now - at <= window)) {
            continue;
        }
        if (auto signal = LiveSignal::fromJson(entry)) {
            held.push_back({at, std::move(*signal)});
        }
    }
    std::stable_sort(held.begin(), held.end(),
                     [](const HeldSignal& a, const HeldSignal& b) { return a.at < b.at; });
    return held;
}

}  // namespace floodmark::SaverReplay
