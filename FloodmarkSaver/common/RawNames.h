#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace floodmark {

// The wire strings of an enumeration whose cases count up from 0, indexed by case.
template <typename Case, std::size_t N>
struct RawNames {
    std::array<std::string_view, N> names;

    // The exact raw value only: case-sensitive, no trimming.
    std::optional<Case> find(std::string_view raw) const {
        for (std::size_t index = 0; index < N; ++index) {
            if (names[index] == raw) {
                return static_cast<Case>(index);
            }
        }
        return std::nullopt;
    }

    std::string_view of(Case value) const { return names[static_cast<std::size_t>(value)]; }
};

}  // namespace floodmark
