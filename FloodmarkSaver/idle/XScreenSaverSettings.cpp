#include "FloodmarkSaver/idle/XScreenSaverSettings.h"

namespace floodmark::XScreenSaverSettings {

namespace {

// One list entry: XScreenSaver's resource syntax ends each but the last with "\n\".
std::string entryLine(bool last) {
    return "  " + std::string(hackEntry) + (last ? "\n" : " \\n\\\n");
}

}  // namespace

std::optional<std::string> withHack(const std::optional<std::string>& current) {
    if (!current) {
        return "# XScreenSaver Preferences File, started by floodmark install-hack\n"
               "mode:\t\tone\n"
               "selected:\t0\n"
               "programs:\t\t\t\t\t\t\t\t      \\\n" +
               entryLine(true);
    }
    const std::string& text = *current;
    if (text.find("floodmark --root") != std::string::npos) {
        return std::nullopt;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::size_t next = end == std::string::npos ? text.size() : end + 1;
        std::string_view line(text.data() + start,
                              (end == std::string::npos ? text.size() : end) - start);
        if (line.starts_with("programs:")) {
            std::string value(line.substr(9));
            auto first = value.find_first_not_of(" \t");
            value = first == std::string::npos ? "" : value.substr(first);
            std::string head = text.substr(0, start) + "programs:\t\t\t\t\t\t\t\t      \\\n";
            if (value.empty() || value == "\\") {
                // Entries follow on the next lines; ours goes first.
                bool listEmpty = value.empty();
                return head + entryLine(listEmpty) + text.substr(next);
            }
            // One entry on the same line: ours goes before it.
            return head + entryLine(false) + "  " + value + "\n" + text.substr(next);
        }
        start = next;
    }
    std::string separator = text.empty() || text.back() == '\n' ? "" : "\n";
    return text + separator + "programs:\t\t\t\t\t\t\t\t      \\\n" + entryLine(true);
}

}  // namespace floodmark::XScreenSaverSettings
