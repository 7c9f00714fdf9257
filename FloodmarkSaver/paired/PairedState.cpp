#include "FloodmarkSaver/paired/PairedState.h"
#include "FloodmarkSaver/common/JsonText.h"

#include "FloodmarkSaver/common/JsonValue.h"
#include "FloodmarkSaver/common/WholeNumber.h"
#include "platform/kit/InternetTime.h"
#include "platform/system/HomeDirectory.h"
#include "platform/system/ReadFile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

namespace floodmark {

namespace {

using nlohmann::json;

// The platform's JSON reader presents true and false as 1 and 0, so booleans pass as numbers.
std::optional<double> numberOf(const json* value) {
    if (value == nullptr) {
        return std::nullopt;
    }
    if (value->is_boolean()) {
        return value->get<bool>() ? 1.0 : 0.0;
    }
    if (value->is_number()) {
        return value->get<double>();
    }
    return std::nullopt;
}

double clampUnit(double value) {
    return std::clamp(value, 0.0, 1.0);
}

std::optional<double> stampOf(const json* value) {
    auto text = textOf(value);
    return text ? parseInternetTime(*text) : std::nullopt;
}

SustainSeries readSustain(const json* value) {
    SustainSeries sustain = absentSustain();
    if (value == nullptr || !value->is_array() || value->size() != sustain.size()) {
        return sustain;
    }
    for (std::size_t index = 0; index < sustain.size(); ++index) {
        if (auto number = numberOf(&(*value)[index])) {
            sustain[index] = clampUnit(*number);
        }
    }
    return sustain;
}

}  // namespace

const std::string& PairedState::defaultPath() {
    static const std::string path = expandTilde("~/.tolvera/away_state.json");
    return path;
}

std::optional<PairedState> PairedState::read(const std::string& path, double now) {
    auto content = readSmallFile(path, maxFileBytes);
    return content ? fromText(*content, now) : std::nullopt;
}

std::optional<PairedState> PairedState::fromText(std::string_view text, double now) {
    auto file = parseJsonText(text);
    if (!file.is_object()) {
        return std::nullopt;
    }
    auto version = numberOf(member(file, "schema"));
    auto y = numberOf(member(file, "y"));
    auto x = numberOf(member(file, "x"));
    auto updatedAt = stampOf(member(file, "updatedAt"));
    if (version != schema || !y || !x || !updatedAt) {
        return std::nullopt;
    }
    // A stamp far ahead (a companion's clock set wrong, then the companion gone) would keep
    // the water paired for ever; a little ahead is a clock a few seconds off.
    if (now - *updatedAt > freshFor || *updatedAt - now > freshFor) {
        return std::nullopt;
    }

    PairedState state;
    state.updatedAt = *updatedAt;
    state.y = clampUnit(*y);
    state.x = clampUnit(*x);
    state.impulse = ImpulseKind::from(member(file, "impulse"));
    if (state.impulse) {
        state.impulseAt = stampOf(member(file, "impulseAt"));
        if (!state.impulseAt) {
            state.impulse.reset();
        }
    }
    state.sustain = readSustain(member(file, "sustain"));
    if (auto severity = numberOf(member(file, "severity"))) {
        state.severity = wholePart<int>(*severity);
    }
    state.style = SaverStyle::from(member(file, "style"));
    state.agents = clampUnit(numberOf(member(file, "agents")).value_or(0));
    state.mix = clampUnit(numberOf(member(file, "mix")).value_or(0));
    if (auto awaiting = numberOf(member(file, "awaiting"))) {
        state.awaiting = std::max(wholePart<long long>(*awaiting), 0LL);
    }
    return state;
}

}  // namespace floodmark
