#include "app/HookSettings.h"

#include "platform/system/AtomicWrite.h"
#include "platform/system/Files.h"
#include "platform/system/HomeDirectory.h"
#include "platform/system/ReadFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <iostream>

namespace floodmark::app {

namespace {

constexpr std::size_t maxSettingsBytes = 4 << 20;

// What the user must know besides the file, told on standard error.
std::string notesFor(Agent agent) {
    switch (agent) {
        case Agent::codex:
            return "Codex runs hooks it has not seen only after you approve them: open /hooks in "
                   "Codex and approve the floodmark entries (again after any edit to them).\n"
                   "Codex builds without hooks: use `floodmark hook --print-config codex-notify` "
                   "for ~/.codex/config.toml instead, never both.\n";
        case Agent::cursor:
            return "These events are known to every Cursor with hooks (1.7 and later). A Cursor "
                   "that refuses the file is older: update it.\n";
        case Agent::copilotCli:
            return "Copilot CLI reads ~/.copilot/hooks/*.json from 0.0.422; in a repository, "
                   "`--install copilot-cli --repo` writes .github/hooks/floodmark.json, which is "
                   "committed and shared (its commands exit 0 where floodmark is missing).\n";
        default:
            return "";
    }
}

std::string pathOf(Agent agent, HookConfig::Scope scope) {
    return expandTilde(HookConfig::settingsFile(agent, scope));
}

// Our own file (Copilot CLI's) is removed when nothing but its version is left in it.
bool leftEmpty(const HookConfig::Json& settings) {
    return settings.empty() || (settings.size() == 1 && settings.contains("version"));
}

}  // namespace

int printHookSettings(const std::string& name) {
    if (name == "codex-notify") {
        std::cerr << "# add to ~/.codex/config.toml (instead of the hooks, never both)\n";
        std::cout << HookConfig::codexNotifyLine();
        return 0;
    }
    auto agent = AgentHook::agentNamed(name);
    if (!agent) {
        std::cerr << "floodmark hook: unknown agent '" << name
                  << "' (claude-code, codex, codex-notify, gemini-cli, cursor or copilot-cli)\n";
        return 2;
    }
    std::cerr << "# merge into " << HookConfig::settingsFile(*agent, HookConfig::Scope::user)
              << " (or let `floodmark hook --install " << name << "` do it)\n"
              << notesFor(*agent);
    std::cout << HookConfig::settings(*agent).dump(2) << "\n";
    return 0;
}

int changeHookSettings(Agent agent, HookConfig::Scope scope, bool install) {
    std::string path = pathOf(agent, scope);
    struct stat existing {};
    bool present = stat(path.c_str(), &existing) == 0;
    auto text = present ? readSmallFile(path, maxSettingsBytes) : std::optional<std::string>("");
    auto current = text && !text->empty() ? HookConfig::Json::parse(*text, nullptr, false)
                                          : HookConfig::Json::object();
    if (!text || !current.is_object()) {
        std::cerr << "floodmark hook: cannot read " << path
                  << " as a JSON object; left it untouched\n";
        return 1;
    }
    auto changed =
        install ? HookConfig::installed(agent, current) : HookConfig::uninstalled(agent, current);
    if (changed == current) {
        std::cerr << path << (install ? ": the hooks are there already\n" : ": no hooks of ours\n");
        return 0;
    }
    std::string backup = path + ".before-floodmark";
    if (present && access(backup.c_str(), F_OK) != 0 &&
        !writeFileAtomically(backup, *text, true, existing.st_mode & 0777)) {
        std::cerr << "floodmark hook: cannot write the backup " << backup << "\n";
        return 1;
    }
    bool written = false;
    if (!install && agent == Agent::copilotCli && leftEmpty(changed)) {
        written = unlink(path.c_str()) == 0;
    } else {
        createDirectories(parentDirectory(path), 0755);
        written = writeFileAtomically(path, changed.dump(2) + "\n", true,
                                      present ? existing.st_mode & 0777 : 0644);
    }
    if (!written) {
        std::cerr << "floodmark hook: cannot write " << path << "\n";
        return 1;
    }
    std::cerr << (install ? "added the floodmark hooks to " : "took the floodmark hooks out of ")
              << path << (present ? " (the file before: " + backup + ")" : "") << "\n"
              << (install ? notesFor(agent) : "");
    return 0;
}

}  // namespace floodmark::app
