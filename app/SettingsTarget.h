#pragma once

#include "FloodmarkSaver/hooks/HookConfig.h"

#include <string>

namespace floodmark::app {

// Where an install writes an agent's settings, or why it must not.
struct SettingsTarget {
    std::string path;     // as the user knows it (a link's own path where it is a link)
    std::string file;     // the file read and replaced: a link's target
    std::string refusal;  // why the settings are not to be touched; empty where they may be
};

// The user's settings may be links (a dotfiles manager's) and are written through them; a
// repository's must be its own files: a cloned repository's link may lead to any secret of the
// user's, which a rewrite would copy into the working tree. `--repo` names the repository that
// holds the current directory, by its root.
SettingsTarget settingsTarget(Agent agent, HookConfig::Scope scope);

}  // namespace floodmark::app
