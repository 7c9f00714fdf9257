#pragma once

#include <cmath>
#include <limits>

namespace floodmark {

// The integer part of a finite `value`, held inside the range of `Integer`, so that numbers
// from outside never overflow a conversion.
template <typename Integer>
Integer wholePart(double value) {
    constexpr double lowest = static_cast<double>(std::numeric_limits<Integer>::min());
    // −lowest is the first whole number past the top of the range, and exact as a double.
    if (std::trunc(value) >= -lowest) {
        return std::numeric_limits<Integer>::max();
    }
    if (value <= lowest) {
        return std::numeric_limits<Integer>::min();
    }
    return static_cast<Integer>(std::trunc(value));
}

// Whether `value` is a whole number that `Integer` can hold.
template <typename Integer>
bool isWhole(double value) {
    constexpr double lowest = static_cast<double>(std::numeric_limits<Integer>::min());
    return std::trunc(value) == value && value >= lowest && value < -lowest;
}

}  // namespace floodmark
