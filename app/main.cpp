#include "app/Commands.h"
#include "app/HelperProgram.h"
#include "app/Usage.h"

#include <unistd.h>

#include <cstring>
#include <iostream>
#include <span>
#include <string_view>

namespace {

using Command = int (*)(std::span<char* const>);

struct Tool {
    std::string_view name;
    Command run;
};

constexpr Tool tools[] = {
    {"hook", floodmark::app::hookCommand},     {"signal", floodmark::app::signalCommand},
    {"status", floodmark::app::statusCommand}, {"away", floodmark::app::awayCommand},
    {"demo", floodmark::app::demoCommand},     {"install-hack", floodmark::app::installHackCommand},
};

}  // namespace

int main(int argc, char** argv) {
    std::span<char* const> words(argv, static_cast<std::size_t>(argc));
    if (words.size() >= 2) {
        std::string_view first = words[1];
        for (const auto& tool : tools) {
            if (first == tool.name) {
                return tool.run(words.subspan(2));
            }
        }
        if (first == "--help" || first == "-h" || first == "help") {
            std::cout << floodmark::app::usage;
            return 0;
        }
        if (first == "--version") {
            std::cout << "floodmark " << FLOODMARK_VERSION << "\n";
            return 0;
        }
    }
    // The options sheet is GTK's, the idle watcher has its own small program, everything else
    // draws: hand over to the program that has what it needs, in this same process, so that a
    // saver host's signals still reach it.
    std::string_view command = words.size() >= 2 ? words[1] : "";
    std::string helper = command == "options" ? "floodmark-options"
                         : command == "idle"  ? "floodmark-idle"
                                              : "floodmark-saver";
    auto program = floodmark::app::helperProgramPath(helper);
    if (!program) {
        std::cerr << "floodmark: " << helper
                  << " is missing beside this program and in its helpers' folder\n";
        return 1;
    }
    execv(program->c_str(), argv);
    std::cerr << "floodmark: cannot run " << *program << ": " << std::strerror(errno) << "\n";
    return 1;
}
