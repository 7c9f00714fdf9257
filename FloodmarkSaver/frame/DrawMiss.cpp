#include "FloodmarkSaver/frame/DrawMiss.h"

#include "FloodmarkSaver/common/RawNames.h"

namespace floodmark {

namespace {
constexpr RawNames<DrawMiss::Case, 4> missNames{
    {"skipped", "noSize", "noDrawable", "encodeFailed"}};
}

std::optional<DrawMiss> DrawMiss::fromRawValue(std::string_view raw) {
    return missNames.find(raw);
}

std::string_view DrawMiss::rawValue() const {
    return missNames.of(value_);
}

}  // namespace floodmark
