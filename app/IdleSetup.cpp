#include "app/IdleSetup.h"

#include "FloodmarkSaver/idle/IdleServiceFiles.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/ChildProcess.h"
#include "platform/system/Files.h"
#include "platform/system/HomeDirectory.h"
#include "platform/system/ReadFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <iostream>

namespace floodmark::app {

namespace {

namespace files = IdleServiceFiles;

constexpr std::size_t maxUnitBytes = 64 * 1024;

std::string configHome() {
    const char* value = std::getenv("XDG_CONFIG_HOME");
    if (value != nullptr && value[0] == '/') {
        return value;
    }
    return homeDirectory() + "/.config";
}

std::string unitDirectory() {
    return configHome() + "/systemd/user";
}

std::string dropInPath() {
    return unitDirectory() + "/" + files::unitName + ".d/" + files::dropInName;
}

std::string autostartPath() {
    return configHome() + "/autostart/" + files::autostartName;
}

std::string canonical(const std::string& path) {
    std::array<char, PATH_MAX> resolved{};
    return realpath(path.c_str(), resolved.data()) != nullptr ? std::string(resolved.data()) : "";
}

std::string programDirectory() {
    return parentDirectory(canonical("/proc/self/exe"));
}

// `floodmark` itself: beside this program in a build tree, in bin/ as seen from the helpers'
// folder once installed.
std::string frontProgram() {
    for (const std::string& candidate :
         {programDirectory() + "/floodmark", programDirectory() + "/" FLOODMARK_HELPERS_TO_BIN "/floodmark"}) {
        if (access(candidate.c_str(), X_OK) == 0) {
            return canonical(candidate);
        }
    }
    return "";
}

// The unit where `cmake --install` and the package put it, as seen from the helpers' folder, or
// the build tree's copy in lib/systemd/user beside the programs' folder.
std::string shippedUnit() {
    for (const std::string& folder : {programDirectory() + "/" FLOODMARK_HELPERS_TO_UNITS,
                                      programDirectory() + "/../lib/systemd/user"}) {
        std::string unit = canonical(folder + "/" + files::unitName);
        if (!unit.empty()) {
            return unit;
        }
    }
    return "";
}

bool seenByUserManager(const std::string& unit) {
    std::string folder = parentDirectory(unit);
    return folder == "/usr/lib/systemd/user" || folder == "/lib/systemd/user" ||
           folder == "/usr/local/lib/systemd/user";
}

// Tests put a stand-in here; "none" means no systemd runs.
std::string systemctlProgram() {
    const char* value = std::getenv("FLOODMARK_SYSTEMCTL");
    if (value != nullptr) {
        return std::string(value) == "none" ? "" : value;
    }
    struct stat status {};
    return stat("/run/systemd/system", &status) == 0 ? "systemctl" : "";
}

bool systemctl(const std::string& program, const std::vector<std::string>& words) {
    std::vector<std::string> arguments{"--user"};
    arguments.insert(arguments.end(), words.begin(), words.end());
    std::string shown = "systemctl --user";
    for (const auto& word : words) {
        shown += " " + word;
    }
    std::cout.flush();
    ChildProcess child;
    auto end = child.start(program, arguments) ? child.wait() : std::nullopt;
    if (!end || end->failed) {
        std::cout << "failed: " << shown << "\n";
        return false;
    }
    std::cout << "ran: " << shown << "\n";
    return true;
}

bool writeOurs(const std::string& path, const std::string& text) {
    if (!createDirectories(parentDirectory(path), 0755) || !writeFileAtomically(path, text)) {
        std::cerr << "floodmark idle: cannot write " << path << "\n";
        return false;
    }
    std::cout << "wrote " << path << "\n";
    return true;
}

// Removes `path` only when --enable wrote it.
void removeOurs(const std::string& path) {
    auto text = readSmallFile(path, maxUnitBytes);
    if (text && text->starts_with(files::marker) && unlink(path.c_str()) == 0) {
        std::cout << "removed " << path << "\n";
    }
}

}  // namespace

int enableIdleWatch(std::optional<double> minutes, const std::vector<std::string>& saverArguments) {
    std::vector<std::string> command{frontProgram(), "idle"};
    if (command[0].empty()) {
        std::cerr << "floodmark idle: cannot find the floodmark program\n";
        return 1;
    }
    if (minutes) {
        std::array<char, 32> text{};
        auto end = std::to_chars(text.data(), text.data() + text.size(), *minutes).ptr;
        command.insert(command.end(), {"--after", std::string(text.data(), end)});
    }
    if (!saverArguments.empty()) {
        command.push_back("--");
        command.insert(command.end(), saverArguments.begin(), saverArguments.end());
    }
    std::string program = systemctlProgram();
    if (program.empty()) {
        auto entry = files::autostartEntry(command);
        if (!entry) {
            std::cerr << "floodmark idle: a saver argument holds a control character\n";
            return 2;
        }
        if (!writeOurs(autostartPath(), *entry)) {
            return 1;
        }
        std::cout << "no systemd here: the watcher starts with your next session\n";
        return 0;
    }
    auto dropIn = files::dropIn(command);
    if (!dropIn) {
        std::cerr << "floodmark idle: a saver argument holds a control character\n";
        return 2;
    }
    std::string unit = shippedUnit();
    if (!seenByUserManager(unit)) {
        // A build tree or an unusual prefix: the user manager would not find the unit.
        auto text = readSmallFile(unit, maxUnitBytes);
        if (!text) {
            std::cerr << "floodmark idle: " << files::unitName
                      << " is missing beside this program\n";
            return 1;
        }
        if (!writeOurs(unitDirectory() + "/" + files::unitName,
                       std::string(files::marker) + "\n" + *text)) {
            return 1;
        }
    }
    if (!writeOurs(dropInPath(), *dropIn)) {
        return 1;
    }
    bool started = systemctl(program, {"daemon-reload"}) &&
                   systemctl(program, {"enable", "--now", files::unitName});
    return started ? 0 : 1;
}

int disableIdleWatch() {
    std::string program = systemctlProgram();
    bool stopped = program.empty() || systemctl(program, {"disable", "--now", files::unitName});
    removeOurs(dropInPath());
    rmdir(parentDirectory(dropInPath()).c_str());
    removeOurs(unitDirectory() + "/" + files::unitName);
    removeOurs(autostartPath());
    if (!program.empty()) {
        systemctl(program, {"daemon-reload"});
    }
    return stopped ? 0 : 1;
}

}  // namespace floodmark::app
