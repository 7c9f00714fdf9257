#include "app/HookSettings.h"

#include "app/SettingsTarget.h"
#include "platform/system/FileRewrite.h"
#include "platform/system/ReadFile.h"

#include <sys/stat.h>

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

// Our own file (Copilot CLI's) is removed when nothing but its version is left in it.
bool leftEmpty(const HookConfig::Json& settings) {
    return settings.empty() || (settings.size() == 1 && settings.contains("version"));
}

bool exists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

// What one install or uninstall found and did, for its report.
struct Outcome {
    std::string problem;  // why the file was left untouched, where it was
    bool byHand = false;  // whether the user is to add the hooks by hand
    bool backedUp = false;
    bool removed = false;
};

// The file read, changed as asked. Only a file without our hooks is the user's own: that one is
// backed up (once: an earlier backup is theirs from before an earlier install), and where there
// was none before, the file is removed again once nothing but ours was in it.
FileChange changeOf(Agent agent, bool install, const std::string& backup, const FileVersion& read,
                    Outcome& outcome) {
    outcome.problem.clear();
    outcome.byHand = false;
    outcome.removed = false;
    if (read.present && read.bytes.empty()) {
        // An agent that truncates its file before writing it anew leaves it empty a moment.
        outcome.problem = "is empty (is the agent writing it?): try again shortly";
        return {};
    }
    auto current = read.present ? HookConfig::Json::parse(read.bytes, nullptr, false)
                                : HookConfig::Json::object();
    if (!current.is_object()) {
        bool commented =
            read.present && HookConfig::Json::parse(read.bytes, nullptr, false, true).is_object();
        // Gemini CLI's own parser allows comments; a rewrite would drop them.
        outcome.problem = commented ? "has comments, which a rewrite would lose"
                                    : "cannot be read as a JSON object";
        outcome.byHand = commented;
        return {};
    }
    if (auto blocker = HookConfig::unmergeable(agent, current); install && !blocker.empty()) {
        outcome.problem = "has " + blocker + " set to what floodmark will not replace";
        outcome.byHand = true;
        return {};
    }
    auto changed =
        install ? HookConfig::installed(agent, current) : HookConfig::uninstalled(agent, current);
    if (changed == current) {
        return {};
    }
    bool usersOwn = read.present && !HookConfig::hasOurHooks(agent, current);
    if (usersOwn && (outcome.backedUp || !exists(backup))) {
        if (!writeFileLike(backup, read.bytes, read)) {
            outcome.problem = "could not be backed up to " + backup;
            return {};
        }
        outcome.backedUp = true;
    }
    if (!install && leftEmpty(changed) && (agent == Agent::copilotCli || !exists(backup))) {
        outcome.removed = true;
        return {FileChange::Action::remove, ""};
    }
    auto before = install ? std::nullopt : readSmallFile(backup, maxSettingsBytes);
    if (before) {
        auto original = HookConfig::Json::parse(*before, nullptr, false);
        if (agent == Agent::cursor && original.is_object() && !original.contains("version")) {
            changed.erase("version");  // the install added it
        }
        if (changed == original) {
            // Back as it was, to the byte: its numbers' text, line ends, duplicate keys.
            return {FileChange::Action::write, *before};
        }
    }
    return {FileChange::Action::write, changed.dump(2) + "\n"};
}

std::string backupNote(const Outcome& outcome, const std::string& backup, bool install) {
    if (outcome.backedUp) {
        return " (your file as it was: " + backup + ")";
    }
    if (!exists(backup)) {
        return "";
    }
    return " (" + backup + " holds your file from before " +
           (install ? "an earlier install)" : "the install)");
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
    auto target = settingsTarget(agent, scope);
    if (!target.refusal.empty()) {
        std::cerr << "floodmark hook: " << target.refusal << "\n";
        return 1;
    }
    const std::string& path = target.path;
    std::string backup = path + ".before-floodmark";
    Outcome outcome;
    auto result = rewriteFile(target.file, maxSettingsBytes, [&](const FileVersion& read) {
        return changeOf(agent, install, backup, read, outcome);
    });
    switch (result) {
        case Rewritten::left:
            if (outcome.problem.empty()) {
                std::cerr << path
                          << (install ? ": the hooks are there already\n" : ": no hooks of ours\n");
                return 0;
            }
            std::cerr << "floodmark hook: " << path << " " << outcome.problem
                      << "; left it untouched\n";
            if (outcome.byHand) {
                std::cerr << "add these to its \"hooks\" by hand:\n"
                          << HookConfig::settings(agent)["hooks"].dump(2) << "\n";
            }
            return 1;
        case Rewritten::unreadable:
            std::cerr << "floodmark hook: cannot read " << path
                      << " (not a file, or larger than 4 MB); left it untouched\n";
            return 1;
        case Rewritten::keptChanging:
            std::cerr << "floodmark hook: " << path
                      << " kept changing while it was read (is the agent writing it?): try "
                         "again shortly; left it untouched\n";
            return 1;
        case Rewritten::failed:
            std::cerr << "floodmark hook: cannot write " << path << "\n";
            return 1;
        case Rewritten::changed:
            break;
    }
    if (install) {
        std::cerr << "added the floodmark hooks to " << path << backupNote(outcome, backup, install)
                  << "\n"
                  << notesFor(agent);
    } else if (outcome.removed) {
        std::cerr << "took the floodmark hooks out of " << path
                  << " and removed it: nothing else was in it\n";
    } else {
        std::cerr << "took the floodmark hooks out of " << path
                  << backupNote(outcome, backup, install) << "\n";
    }
    return 0;
}

}  // namespace floodmark::app
