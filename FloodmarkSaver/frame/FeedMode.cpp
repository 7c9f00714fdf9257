#include "FloodmarkSaver/frame/FeedMode.h"

#include "FloodmarkSaver/common/RawNames.h"

namespace floodmark {

namespace {
constexpr RawNames<FeedMode::Case, 3> modeNames{{"paired", "live", "ambient"}};
}

std::optional<FeedMode> FeedMode::fromRawValue(std::string_view raw) {
    return modeNames.find(raw);
}

std::string_view FeedMode::rawValue() const {
    return modeNames.of(value_);
}

}  // namespace floodmark
