#include "app/Commands.h"

#include <iostream>
#include <span>
#include <string_view>

namespace {

constexpr std::string_view usage =
    "usage: floodmark [--window-id ID | --root | --fullscreen] [--geometry WxH] [--scale K]\n"
    "                [--cpu | --gpu]\n"
    "       floodmark frames [--count N] [--interval S] [--simulated]\n"
    "       floodmark snapshot --out FILE.png [--size WxH] [--scale K] [--y Y] [--x X]\n"
    "                [--severity N] [--style NAME] [--time T] [--ripple AGE:POS]...\n"
    "                [--pop AGE:POS]... [--clock TEXT] [--message TEXT]\n"
    "                [--chrome-alpha A] [--sustain V,V,V,V,V] [--depth D]\n"
    "                [--reduce-motion] [--cpu | --gpu] [--gpu-diff FILE.png]\n"
    "       floodmark render --out DIR [--view WxH[@K][,preview]]... [--seconds S]\n"
    "                [--simulated] [--fps F] [--locked] [--reduce-motion] [--cpu | --gpu]\n";

}  // namespace

int main(int argc, char** argv) {
    std::span<char* const> words(argv, static_cast<std::size_t>(argc));
    if (words.size() < 2 || words[1][0] == '-') {
        return floodmark::app::saverCommand(words.subspan(1));
    }
    std::string_view command = words[1];
    if (command == "frames") {
        return floodmark::app::framesCommand(words.subspan(2));
    }
    if (command == "render") {
        return floodmark::app::renderCommand(words.subspan(2));
    }
    if (command == "snapshot") {
        return floodmark::app::snapshotCommand(words.subspan(2));
    }
    std::cerr << "floodmark: unknown command '" << command << "'\n" << usage;
    return 2;
}
