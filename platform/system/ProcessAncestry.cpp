#include "platform/system/ProcessAncestry.h"

#include "platform/system/ReadFile.h"

#include <array>
#include <charconv>
#include <string>
#include <string_view>

namespace floodmark {

namespace {

struct ProcessEntry {
    std::string name;
    std::int64_t parent = 0;
};

// /proc/PID/stat is "pid (comm) state ppid ..."; the name may hold spaces and parentheses, so
// it ends at the last ')'.
std::optional<ProcessEntry> readEntry(std::int64_t pid) {
    auto stat = readSmallFile("/proc/" + std::to_string(pid) + "/stat", 4096);
    if (!stat) {
        return std::nullopt;
    }
    auto open = stat->find('(');
    auto close = stat->rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open ||
        close + 4 >= stat->size()) {
        return std::nullopt;
    }
    ProcessEntry entry{stat->substr(open + 1, close - open - 1), 0};
    std::string_view rest(*stat);
    rest.remove_prefix(close + 4);  // ") S "
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), entry.parent);
    if (error != std::errc()) {
        return std::nullopt;
    }
    return entry;
}

bool isWrapper(std::string_view name) {
    constexpr std::array<std::string_view, 9> wrappers{"sh",  "bash", "dash",    "zsh",    "fish",
                                                       "ksh", "env",  "busybox", "timeout"};
    for (auto wrapper : wrappers) {
        if (name == wrapper) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<std::int64_t> agentProcess(std::int64_t pid) {
    // A cycle cannot happen in a real process table; the bound keeps a strange /proc harmless.
    constexpr int maxSteps = 64;
    auto entry = readEntry(pid);
    for (int step = 0; entry && step < maxSteps; ++step) {
        std::int64_t parent = entry->parent;
        if (parent < 2) {
            return std::nullopt;
        }
        entry = readEntry(parent);
        if (entry && !isWrapper(entry->name)) {
            return parent;
        }
    }
    return std::nullopt;
}

}  // namespace floodmark
