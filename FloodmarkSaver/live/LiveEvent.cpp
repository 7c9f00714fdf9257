#include "FloodmarkSaver/live/LiveEvent.h"

#include "FloodmarkSaver/common/RawNames.h"

namespace floodmark {

namespace {
constexpr RawNames<LiveEvent::Case, 7> eventNames{
    {"prompt_submitted", "tool_call", "compaction", "tool_failure", "stop", "awaiting", "halted"}};
}

std::optional<LiveEvent> LiveEvent::fromRawValue(std::string_view raw) {
    return eventNames.find(raw);
}

std::string_view LiveEvent::rawValue() const {
    return eventNames.of(value_);
}

}  // namespace floodmark
