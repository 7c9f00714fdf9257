#pragma once

#include "FloodmarkSaver/paired/PairedState.h"

#include <string>

namespace floodmark {

// The away-state file that makes readers see `state`, stamped `updatedAt` (its own
// `updatedAt` is not used): what a companion writes.
std::string awayStateText(const PairedState& state, double updatedAt);

}  // namespace floodmark
