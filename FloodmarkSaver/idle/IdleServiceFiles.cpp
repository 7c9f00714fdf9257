#include "FloodmarkSaver/idle/IdleServiceFiles.h"

#include <string_view>

namespace floodmark::IdleServiceFiles {

namespace {

bool hasControlCharacter(std::string_view word) {
    for (unsigned char character : word) {
        if (character < 0x20 || character == 0x7f) {
            return true;
        }
    }
    return false;
}

// Each word in double quotes; `escaped` lists what takes a backslash, and `%` is doubled.
std::optional<std::string> quoteWords(const std::vector<std::string>& words,
                                      std::string_view escaped, std::string_view dollar) {
    std::string line;
    for (const auto& word : words) {
        if (hasControlCharacter(word)) {
            return std::nullopt;
        }
        line += line.empty() ? "\"" : " \"";
        for (char character : word) {
            if (character == '%') {
                line += "%%";
            } else if (character == '$') {
                line += dollar;
            } else if (escaped.find(character) != std::string_view::npos) {
                line += '\\';
                line += character;
            } else {
                line += character;
            }
        }
        line += '"';
    }
    return line;
}

}  // namespace

std::optional<std::string> systemdCommandLine(const std::vector<std::string>& words) {
    return quoteWords(words, "\\\"", "$$");
}

std::optional<std::string> desktopExec(const std::vector<std::string>& words) {
    auto quoted = quoteWords(words, "\\\"`", "\\$");
    if (!quoted) {
        return std::nullopt;
    }
    // The value is a string, whose own escape rule doubles every backslash first.
    std::string value;
    for (char character : *quoted) {
        value += character;
        if (character == '\\') {
            value += '\\';
        }
    }
    return value;
}

std::optional<std::string> dropIn(const std::vector<std::string>& command) {
    auto line = systemdCommandLine(command);
    if (!line) {
        return std::nullopt;
    }
    // An empty ExecStart first clears the unit's own.
    return std::string(marker) + "\n[Service]\nExecStart=\nExecStart=" + *line + "\n";
}

std::optional<std::string> autostartEntry(const std::vector<std::string>& command) {
    auto exec = desktopExec(command);
    if (!exec) {
        return std::nullopt;
    }
    return std::string(marker) +
           "\n[Desktop Entry]\nType=Application\nName=Floodmark idle watcher\n"
           "Comment=Starts the Floodmark screen saver when the session is idle\nExec=" +
           *exec + "\nNoDisplay=true\n";
}

}  // namespace floodmark::IdleServiceFiles
