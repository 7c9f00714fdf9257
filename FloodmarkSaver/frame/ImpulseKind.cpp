#include "FloodmarkSaver/frame/ImpulseKind.h"

#include "FloodmarkSaver/common/JsonValue.h"
#include "FloodmarkSaver/common/RawNames.h"

namespace floodmark {

namespace {
constexpr RawNames<ImpulseKind::Case, 3> impulseNames{{"compaction", "failure", "session_end"}};
}

std::optional<ImpulseKind> ImpulseKind::fromRawValue(std::string_view raw) {
    return impulseNames.find(raw);
}

std::optional<ImpulseKind> ImpulseKind::from(const nlohmann::json* value) {
    auto text = textOf(value);
    return text ? fromRawValue(*text) : std::nullopt;
}

std::string_view ImpulseKind::rawValue() const {
    return impulseNames.of(value_);
}

}  // namespace floodmark
