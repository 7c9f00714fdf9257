#include "FloodmarkSaver/frame/SaverStyle.h"

#include "FloodmarkSaver/common/JsonValue.h"
#include "FloodmarkSaver/common/RawNames.h"

namespace floodmark {

namespace {
constexpr RawNames<SaverStyle::Case, 6> styleNames{
    {"standard", "still", "bloom", "unfold", "mosaic", "splinter"}};
}

std::optional<SaverStyle> SaverStyle::fromRawValue(std::string_view raw) {
    return styleNames.find(raw);
}

SaverStyle SaverStyle::from(const nlohmann::json* value) {
    auto text = textOf(value);
    return text ? fromRawValue(*text).value_or(standard) : standard;
}

std::string_view SaverStyle::rawValue() const {
    return styleNames.of(value_);
}

}  // namespace floodmark
