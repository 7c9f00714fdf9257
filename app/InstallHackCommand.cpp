#include "app/CommandLine.h"
#include "app/Commands.h"

#include "FloodmarkSaver/idle/XScreenSaverSettings.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/HomeDirectory.h"
#include "platform/system/ReadFile.h"

#include <sys/stat.h>

#include <iostream>

namespace floodmark::app {

int installHackCommand(std::span<char* const> words) {
    CLI::App parser(
        "Adds floodmark to the programs of XScreenSaver in ~/.xscreensaver (creating "
        "the file when it is missing), once, keeping every other line and a backup.",
        "floodmark install-hack");
    bool user = true;
    parser.add_flag("--user", user, "For this user (the only kind there is; the default)");
    if (auto exit = parseCommandLine(parser, words)) {
        return *exit;
    }
    std::string path = expandTilde("~/.xscreensaver");
    struct stat existing {};
    bool exists = stat(path.c_str(), &existing) == 0;
    std::optional<std::string> current;
    if (exists && !(current = readSmallFile(path, 4 << 20))) {
        std::cerr << "floodmark install-hack: cannot read " << path << "\n";
        return 1;
    }
    auto updated = XScreenSaverSettings::withHack(current);
    if (!updated) {
        std::cout << path << " already runs floodmark: nothing changed\n";
        return 0;
    }
    std::string backup = path + ".before-floodmark";
    if (current && !writeFileAtomically(backup, *current)) {
        std::cerr << "floodmark install-hack: cannot write the backup " << backup << "\n";
        return 1;
    }
    if (!writeFileAtomically(path, *updated)) {
        std::cerr << "floodmark install-hack: cannot write " << path << "\n";
        return 1;
    }
    std::cout << (current
                      ? "added to the programs of " + path + " (the old file is " + backup + "):\n"
                      : "created " + path + " with the program:\n")
              << "  " << XScreenSaverSettings::hackEntry << "\n";
    return 0;
}

}  // namespace floodmark::app
