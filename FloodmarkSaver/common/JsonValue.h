#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string_view>

namespace floodmark {

// A JSON object's member by key, or null when the value is not an object or has no such key:
// the "absent" of loosely typed readers.
inline const nlohmann::json* member(const nlohmann::json& object, std::string_view key) {
    if (!object.is_object()) {
        return nullptr;
    }
    auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

// The text of a value that is a JSON string; absent for anything else.
inline std::optional<std::string_view> textOf(const nlohmann::json* value) {
    if (value == nullptr || !value->is_string()) {
        return std::nullopt;
    }
    return std::string_view(value->get_ref<const std::string&>());
}

}  // namespace floodmark
