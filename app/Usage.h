#pragma once

#include <string_view>

namespace floodmark::app {

// Every command and option, as `floodmark --help` prints it; the manual page lists the same.
inline constexpr std::string_view usage =
    "usage: floodmark [--window-id ID | --root | --fullscreen | --window] [--geometry WxH]\n"
    "                [--scale K] [--x11 | --wayland] [--no-input-exit] [--cpu | --gpu]\n"
    "       floodmark hook --from AGENT [--event NAME] | --print-config AGENT\n"
    "       floodmark signal --event E --tool T --session S [--size-bucket B]\n"
    "                [--background-tasks N] [--error-kind K] [--resumes-at T] [--pid N]\n"
    "       floodmark signal --ping --session S\n"
    "       floodmark status [--json]\n"
    "       floodmark away --y Y [--x X] [--severity N] [--awaiting N] [--style S]\n"
    "                [--depth D] [--sustain V,V,V,V,V] [--impulse KIND] [--for SECONDS]\n"
    "       floodmark demo [--seconds S]\n"
    "       floodmark install-hack [--user]\n"
    "       floodmark options\n"
    "       floodmark idle [--after MINUTES] [--x11 | --wayland] [-- SAVER ARGS...]\n"
    "       floodmark idle --enable [--after MINUTES] [-- SAVER ARGS...] | --disable\n"
    "       floodmark frames [--count N] [--interval S] [--simulated]\n"
    "       floodmark snapshot --out FILE.png [--size WxH] [--scale K] [--y Y] [--x X]\n"
    "                [--severity N] [--style NAME] [--time T] [--ripple AGE:POS]...\n"
    "                [--pop AGE:POS]... [--clock TEXT] [--message TEXT]\n"
    "                [--chrome-alpha A] [--sustain V,V,V,V,V] [--depth D]\n"
    "                [--reduce-motion] [--cpu | --gpu] [--gpu-diff FILE.png]\n"
    "       floodmark render --out DIR [--view WxH[@K][,preview]]... [--seconds S]\n"
    "                [--simulated] [--fps F] [--locked] [--reduce-motion] [--cpu | --gpu]\n"
    "       floodmark --version\n"
    "Every command answers --help.\n";

}  // namespace floodmark::app
