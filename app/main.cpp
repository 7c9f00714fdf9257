#include "app/Commands.h"
#include "app/SaverProgram.h"
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
    // Everything else draws: hand over to the program that has the graphics stack, in this
    // same process, so that a saver host's signals still reach it.
    auto saver = floodmark::app::saverProgramPath();
    if (!saver) {
        std::cerr << "floodmark: the drawing program floodmark-saver is missing beside "
                     "this one or in ../libexec\n";
        return 1;
    }
    execv(saver->c_str(), argv);
    std::cerr << "floodmark: cannot run " << *saver << ": " << std::strerror(errno) << "\n";
    return 1;
}
