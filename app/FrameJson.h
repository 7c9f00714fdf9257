#pragma once

#include "FloodmarkSaver/frame/FloodmarkFrame.h"

#include <nlohmann/json.hpp>

namespace floodmark::app {

// Every field of the frame under its own name, in the record's order; marks as [age, position]
// pairs, an absent message or sustain value as null.
nlohmann::ordered_json frameJson(const FloodmarkFrame& frame);

}  // namespace floodmark::app
