#include "app/Commands.h"
#include "app/HelperProgram.h"
#include "app/Usage.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <span>
#include <string_view>

namespace {

// A command runs in this process, or in the helper program that has what it needs: the options
// sheet is GTK's, the idle watcher has a small program of its own, and floodmark-saver has
// everything that draws (the saver itself: no command, or its options alone). The helpers come
// with the saver's build; without them (the tools alone, as the floodmark-tools package) their
// commands say so.
struct Command {
    std::string_view name;
    int (*run)(std::span<char* const>);
    const char* helper;
};

constexpr Command commands[] = {
    {"hook", floodmark::app::hookCommand, nullptr},
    {"signal", floodmark::app::signalCommand, nullptr},
    {"status", floodmark::app::statusCommand, nullptr},
    {"away", floodmark::app::awayCommand, nullptr},
    {"demo", floodmark::app::demoCommand, nullptr},
    {"options", nullptr, "floodmark-options"},
    {"idle", nullptr, "floodmark-idle"},
    {"install-hack", nullptr, "floodmark-saver"},
    {"frames", nullptr, "floodmark-saver"},
    {"render", nullptr, "floodmark-saver"},
    {"snapshot", nullptr, "floodmark-saver"},
};
constexpr Command saver{"the saver", nullptr, "floodmark-saver"};

constexpr std::string_view toolsAlone =
    "only the small tools (hook, signal, status, away, demo) are in this build; the saver and "
    "its other commands come with a full build (Debian: the floodmark package)";

// In this same process, so that a saver host's signals still reach the helper.
int handOver(const Command& command, char** argv) {
    auto program = floodmark::app::helperProgramPath(command.helper);
    if (!program) {
        std::cerr << "floodmark: " << command.name << " is not in this build (no " << command.helper
                  << " beside this program or in its helpers' folder): " << toolsAlone << "\n";
        return 1;
    }
    execv(program->c_str(), argv);
    std::cerr << "floodmark: cannot run " << *program << ": " << std::strerror(errno) << "\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::span<char* const> words(argv, static_cast<std::size_t>(argc));
    std::string_view first = words.size() >= 2 ? words[1] : "";
    if (first == "--help" || first == "-h" || first == "help") {
        std::cout << floodmark::app::usage;
        if (!floodmark::app::helperProgramPath(saver.helper)) {
            std::cout << "Note: " << toolsAlone << ".\n";
        }
        return 0;
    }
    if (first == "--version") {
        std::cout << "floodmark " << FLOODMARK_VERSION << "\n";
        return 0;
    }
    if (first.empty() || first.starts_with('-')) {
        return handOver(saver, argv);
    }
    for (const auto& command : commands) {
        if (first == command.name) {
            return command.run ? command.run(words.subspan(2)) : handOver(command, argv);
        }
    }
    std::cerr << "floodmark: unknown command '" << first << "'\n" << floodmark::app::usage;
    return 2;
}
