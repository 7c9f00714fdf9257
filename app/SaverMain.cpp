#include "app/Commands.h"
#include "app/Usage.h"

#include <iostream>
#include <span>
#include <string_view>

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
    if (command == "install-hack") {
        return floodmark::app::installHackCommand(words.subspan(2));
    }
    std::cerr << "floodmark: unknown command '" << command << "'\n" << floodmark::app::usage;
    return 2;
}
