#include "app/SettingsTarget.h"

#include "platform/system/Files.h"
#include "platform/system/HomeDirectory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <optional>

namespace floodmark::app {

namespace {

std::optional<std::string> realPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) {
        return std::nullopt;
    }
    return std::string(resolved);
}

bool isLink(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

// The nearest directory from the current one up that holds `.git` (a folder, or a file in a
// worktree or submodule).
std::optional<std::string> repositoryRoot() {
    auto directory = realPath(".");
    while (directory) {
        struct stat status {};
        if (lstat((*directory + "/.git").c_str(), &status) == 0) {
            return directory;
        }
        if (*directory == "/") {
            return std::nullopt;
        }
        directory = parentDirectory(*directory);
    }
    return std::nullopt;
}

// Why the repository's `relative` file must not be touched: the file is a link, or a folder on
// its way is one that leads out of the repository.
std::string linkInRepository(const std::string& root, const std::string& relative) {
    std::string path = root;
    std::size_t start = 0;
    while (start < relative.size()) {
        auto slash = relative.find('/', start);
        bool last = slash == std::string::npos;
        // Appended piece by piece: GCC 12 at -O3 sees an overlap in `"/" + substr(...)`.
        path += '/';
        path.append(relative, start, last ? std::string::npos : slash - start);
        start = last ? relative.size() : slash + 1;
        if (!isLink(path)) {
            continue;
        }
        auto target = realPath(path);
        if (last || !target || !target->starts_with(root + "/")) {
            return path + " is a link" + (target ? " to " + *target : "") +
                   ", which a repository may point at any file of yours: floodmark writes only "
                   "the repository's own files, so it left it untouched";
        }
    }
    return "";
}

std::string readOnlyRefusal(Agent agent, const std::string& path, const std::string& file) {
    std::string print =
        "`floodmark hook --print-config " + std::string(AgentHook::idOf(agent)) + "` prints them";
    if (file == path) {
        return path + " is read-only: make it writable, or add the hooks by hand (" + print +
               "); left it untouched";
    }
    return path + " is a link to " + file + ", which is read-only: add the hooks by hand to the " +
           "file it is made from (" + print + "); left it untouched";
}

}  // namespace

SettingsTarget settingsTarget(Agent agent, HookConfig::Scope scope) {
    std::string relative = HookConfig::settingsFile(agent, scope);
    SettingsTarget target;
    if (scope == HookConfig::Scope::repository) {
        auto root = repositoryRoot();
        if (!root) {
            target.refusal =
                "--repo: the current directory is in no repository (no .git here or "
                "above)";
            return target;
        }
        target.path = target.file = *root + "/" + relative;
        for (const auto& file : {relative, relative + ".before-floodmark"}) {
            if (target.refusal.empty()) {
                target.refusal = linkInRepository(*root, file);
            }
        }
    } else {
        target.path = target.file = expandTilde(relative);
        if (isLink(target.path)) {
            auto resolved = realPath(target.path);
            if (!resolved) {
                target.refusal = target.path + " is a link to a file that is not there; left it";
                return target;
            }
            target.file = *resolved;
        }
    }
    struct stat status {};
    bool readOnly = stat(target.file.c_str(), &status) == 0 &&
                    ((status.st_mode & 0222) == 0 || access(target.file.c_str(), W_OK) != 0 ||
                     access(parentDirectory(target.file).c_str(), W_OK) != 0);
    if (target.refusal.empty() && readOnly) {
        target.refusal = readOnlyRefusal(agent, target.path, target.file);
    }
    return target;
}

}  // namespace floodmark::app
