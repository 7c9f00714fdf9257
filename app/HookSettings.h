#pragma once

#include "FloodmarkSaver/hooks/HookConfig.h"

#include <string>

namespace floodmark::app {

// `floodmark hook --print-config NAME`: the settings alone on standard output (so that it can
// be redirected into the agent's file), where they go and what to know on standard error.
int printHookSettings(const std::string& name);

// `floodmark hook --install/--uninstall AGENT`: merges our hooks into the agent's settings
// file, or takes them out, keeping everything else; backs the user's own file up once; refuses,
// untouched, a file it cannot parse or merge into, and a repository's link.
int changeHookSettings(Agent agent, HookConfig::Scope scope, bool install);

}  // namespace floodmark::app
