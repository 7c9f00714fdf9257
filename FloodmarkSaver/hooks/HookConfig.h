#pragma once

#include "FloodmarkSaver/hooks/AgentHook.h"

#include <string>

namespace floodmark::HookConfig {

// Where the agent reads its hooks from, as its user would write it.
std::string settingsFile(Agent agent);
// The text to paste into that file (merged by hand with what is there), ending in a newline.
std::string snippet(Agent agent);

}  // namespace floodmark::HookConfig
