#include "FloodmarkSaver/paired/AwayStateText.h"

#include "platform/kit/InternetTime.h"

#include <nlohmann/json.hpp>

namespace floodmark {

std::string awayStateText(const PairedState& state, double updatedAt) {
    nlohmann::json sustain = nlohmann::json::array();
    for (const auto& value : state.sustain) {
        sustain.push_back(value ? nlohmann::json(*value) : nlohmann::json(nullptr));
    }
    nlohmann::json file{{"schema", PairedState::schema},
                        {"y", state.y},
                        {"x", state.x},
                        {"severity", state.severity},
                        {"style", state.style.rawValue()},
                        {"agents", state.agents},
                        {"mix", state.mix},
                        {"sustain", sustain},
                        {"awaiting", state.awaiting},
                        {"updatedAt", formatInternetTime(updatedAt)}};
    if (state.impulse && state.impulseAt) {
        file["impulse"] = state.impulse->rawValue();
        file["impulseAt"] = formatInternetTime(*state.impulseAt);
    }
    return file.dump() + "\n";
}

}  // namespace floodmark
