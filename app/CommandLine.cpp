#include "app/CommandLine.h"

#include <iostream>
#include <string>
#include <vector>

namespace floodmark::app {

std::optional<int> parseCommandLine(CLI::App& parser, std::span<char* const> words) {
    // CLI11 takes the words last first.
    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
        parser.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        std::cout << parser.help();
        return 0;
    } catch (const CLI::ParseError& error) {
        std::cerr << parser.get_name() << ": " << error.what() << "\n";
        return 2;
    }
    return std::nullopt;
}

}  // namespace floodmark::app
