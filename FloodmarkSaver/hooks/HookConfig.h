#pragma once

#include "FloodmarkSaver/hooks/AgentHook.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace floodmark::HookConfig {

using Json = nlohmann::ordered_json;

enum class Scope { user, repository };

// The file the agent reads its hooks from: under the home directory (`~/` prefix) for the
// user, relative to the repository's root otherwise.
std::string settingsFile(Agent agent, Scope scope);

// The floodmark that the commands below run first: the installing program, by its absolute path
// (only a program named floodmark; otherwise, and until this is called, floodmark on PATH).
void useProgram(const std::string& path);

// The shell command each hook runs: it exits 0 even where floodmark is not installed (a
// collaborator's machine reading a committed hooks file), so that no agent is ever blocked.
std::string guardedCommand(Agent agent, const std::string& event = "");

// The settings that make the agent run this hook, alone: a whole settings file's content.
Json settings(Agent agent);

// Codex's legacy `notify` line for ~/.codex/config.toml (never together with the hooks: each
// stop would count twice).
std::string codexNotifyLine();

// `existing` (a settings file's JSON, an object) with our hooks added, any earlier ones of ours
// replaced: every other key and hook is kept as it was.
Json installed(Agent agent, Json existing);
// `existing` without our hooks; events and groups left empty by that are removed.
Json uninstalled(Agent agent, Json existing);
// What in `existing` our hooks cannot be merged into without replacing it (`"hooks": "off"`, an
// event of ours that is not a list), as `"hooks"` or `"hooks"."EVENT"`; empty where nothing is.
std::string unmergeable(Agent agent, const Json& existing);
// Whether `existing` holds any hook of ours.
bool hasOurHooks(Agent agent, const Json& existing);

}  // namespace floodmark::HookConfig
