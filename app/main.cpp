#include "app/Commands.h"
#include "app/SaverProgram.h"

#include <unistd.h>

#include <cstring>
#include <iostream>
#include <span>
#include <string_view>

namespace {

constexpr std::string_view usage =
    "usage: floodmark [--window-id ID | --root | --fullscreen] [--geometry WxH] [--scale K]\n"
    "                [--cpu | --gpu]\n"
    "       floodmark hook --from AGENT [--event NAME] | --print-config AGENT\n"
    "       floodmark signal --event E --tool T --session S [--size-bucket B]\n"
    "                [--background-tasks N] [--error-kind K] [--resumes-at T] [--pid N]\n"
    "       floodmark signal --ping --session S\n"
    "       floodmark status [--json]\n"
    "       floodmark away --y Y [--x X] [--severity N] [--awaiting N] [--style S]\n"
    "                [--depth D] [--sustain V,V,V,V,V] [--impulse KIND] [--for SECONDS]\n"
    "       floodmark demo [--seconds S]\n"
    "       floodmark frames [--count N] [--interval S] [--simulated]\n"
    "       floodmark snapshot --out FILE.png [--size WxH] [--scale K] [--y Y] [--x X]\n"
    "                [--severity N] [--style NAME] [--time T] [--ripple AGE:POS]...\n"
    "                [--pop AGE:POS]... [--clock TEXT] [--message TEXT]\n"
    "                [--chrome-alpha A] [--sustain V,V,V,V,V] [--depth D]\n"
    "                [--reduce-motion] [--cpu | --gpu] [--gpu-diff FILE.png]\n"
    "       floodmark render --out DIR [--view WxH[@K][,preview]]... [--seconds S]\n"
    "                [--simulated] [--fps F] [--locked] [--reduce-motion] [--cpu | --gpu]\n"
    "Every command answers --help.\n";

using Command = int (*)(std::span<char* const>);

struct Tool {
    std::string_view name;
    Command run;
};

constexpr Tool tools[] = {
    {"hook", floodmark::app::hookCommand},     {"signal", floodmark::app::signalCommand},
    {"status", floodmark::app::statusCommand}, {"away", floodmark::app::awayCommand},
    {"demo", floodmark::app::demoCommand},
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
            std::cout << usage;
            return 0;
        }
    }
    // Everything else draws: hand over to the program that has the graphics stack, in this
    // same process, so that a saver host's signals still reach it.
    auto saver = floodmark::app::saverProgramPath();
    if (!saver) {
        std::cerr << "floodmark: the drawing program floodmark-saver is missing beside "
                     "this one or in ../libexec/floodmark\n";
        return 1;
    }
    execv(saver->c_str(), argv);
    std::cerr << "floodmark: cannot run " << *saver << ": " << std::strerror(errno) << "\n";
    return 1;
}
