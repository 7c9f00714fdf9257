#include "FloodmarkSaver/status/StatusReport.h"

#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/common/JsonValue.h"
#include "FloodmarkSaver/common/Utf8Text.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "platform/kit/InternetTime.h"
#include "platform/system/ReadFile.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace floodmark {

namespace {

std::optional<std::int64_t> pidOfName(std::string_view name) {
    if (!name.ends_with(".json")) {
        return std::nullopt;
    }
    name.remove_suffix(5);
    std::int64_t pid = 0;
    auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (error != std::errc() || end != name.data() + name.size() || pid < 1) {
        return std::nullopt;
    }
    return pid;
}

bool processExists(std::int64_t pid) {
    return pid <= 0x7fffffff && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

std::int64_t count(const nlohmann::json& status, std::string_view key) {
    const auto* value = member(status, key);
    return value && value->is_number_integer() ? value->get<std::int64_t>() : 0;
}

std::string text(const nlohmann::json& status, std::string_view key, std::string fallback) {
    auto value = textOf(member(status, key));
    return value ? printableText(*value) : fallback;
}

bool flag(const nlohmann::json& status, std::string_view key) {
    const auto* value = member(status, key);
    return value && value->is_boolean() && value->get<bool>();
}

// A follower shows the water of the running process that owns the socket.
std::string followedWater(const std::vector<StatusReport::Process>& processes) {
    for (const auto& process : processes) {
        if (process.status && !process.stale && flag(*process.status, "ownsBus")) {
            return "following " + std::to_string(process.pid) + "'s water";
        }
    }
    return "following the socket owner's water";
}

std::string ago(double now, double then) {
    char line[48];
    double seconds = std::max(0.0, now - then);
    if (seconds < 120) {
        std::snprintf(line, sizeof line, "%.1f s ago", seconds);
    } else if (seconds < 7200) {
        std::snprintf(line, sizeof line, "%.0f min ago", seconds / 60);
    } else {
        std::snprintf(line, sizeof line, "%.1f h ago", seconds / 3600);
    }
    return line;
}

// The status files in `directory` by pid, at most StatusReport::maxListed of them, and how
// many more there are; absent when the directory cannot be listed.
struct Listing {
    std::vector<std::pair<std::int64_t, std::string>> files;
    std::size_t unlisted = 0;
};

std::optional<Listing> listStatusFiles(const std::string& directory) {
    DIR* stream = opendir(directory.c_str());
    if (stream == nullptr) {
        return std::nullopt;
    }
    Listing listing;
    while (const dirent* entry = readdir(stream)) {
        if (auto pid = pidOfName(entry->d_name)) {
            if (listing.files.size() < StatusReport::maxListed) {
                listing.files.emplace_back(*pid, entry->d_name);
            } else {
                ++listing.unlisted;
            }
        }
    }
    closedir(stream);
    std::sort(listing.files.begin(), listing.files.end());
    return listing;
}

// The status object of one file, its size taken from `budget`; absent with the reason when
// the file is not read or is not a status file.
std::optional<nlohmann::json> readStatus(const std::string& file, std::size_t& budget,
                                         std::optional<std::string>& unreadable) {
    struct stat attributes {};
    if (stat(file.c_str(), &attributes) != 0 || !S_ISREG(attributes.st_mode)) {
        unreadable = "not a status file";
        return std::nullopt;
    }
    auto size = static_cast<std::size_t>(attributes.st_size);
    if (size > StatusReport::maxFileBytes) {
        unreadable = "larger than 64 KiB";
        return std::nullopt;
    }
    if (size > budget) {
        unreadable = "not read: the status files before it passed 1 MiB";
        return std::nullopt;
    }
    budget -= size;
    // A file that grew since is refused rather than read past its share.
    if (auto content = readSmallFile(file, size)) {
        auto parsed = parseJsonText(*content);
        if (parsed.is_object()) {
            return parsed;
        }
    }
    unreadable = "not a status file";
    return std::nullopt;
}

}  // namespace

double StatusReport::staleAfter() {
    return 2 * SaverStatus::heartbeatInterval;
}

StatusReport StatusReport::read(const std::string& directory, double now) {
    StatusReport report{directory, {}};
    auto listing = listStatusFiles(directory);
    if (!listing) {
        return report;
    }
    report.unlisted = listing->unlisted;
    std::size_t budget = maxTotalBytes;
    for (const auto& [pid, name] : listing->files) {
        Process process{.file = directory + "/" + name, .pid = pid};
        process.status = readStatus(process.file, budget, process.unreadable);
        if (process.status) {
            if (auto stamp = textOf(member(*process.status, "updatedAt"))) {
                process.updatedAt = parseInternetTime(*stamp);
            }
        }
        if (!processExists(pid)) {
            process.stale = "process gone";
        } else if (!process.updatedAt || now - *process.updatedAt > staleAfter()) {
            process.stale = "no heartbeat";
        }
        report.processes.push_back(std::move(process));
    }
    return report;
}

nlohmann::json StatusReport::toJson() const {
    auto processList = nlohmann::json::array();
    for (const auto& process : processes) {
        processList.push_back(
            {{"pid", process.pid},
             {"file", process.file},
             {"stale", process.stale.has_value()},
             {"staleReason",
              process.stale ? nlohmann::json(*process.stale) : nlohmann::json(nullptr)},
             {"status", process.status.value_or(nullptr)},
             {"unreadable",
              process.unreadable ? nlohmann::json(*process.unreadable) : nlohmann::json(nullptr)}});
    }
    return {{"directory", directory}, {"processes", processList}, {"unlisted", unlisted}};
}

namespace {

// One process's lines: its state, mode, socket, views and counts.
std::string processText(const StatusReport::Process& process,
                        const std::vector<StatusReport::Process>& processes, double now) {
    std::string out = "pid " + std::to_string(process.pid) + ": ";
    if (!process.status) {
        return out + "unreadable status file " + printableText(process.file) + " (" +
               process.unreadable.value_or("") + ")\n";
    }
    const auto& status = *process.status;
    out += process.stale ? "stale (" + *process.stale + ")" : std::string("running");
    if (process.updatedAt) {
        out += ", updated " + ago(now, *process.updatedAt);
    }
    out += "\n  mode " + text(status, "mode", "none");
    if (flag(status, "ownsBus")) {
        out += ", owns the socket " + text(status, "socketPath", "");
    } else if (flag(status, "following")) {
        out += ", " + followedWater(processes);
    } else {
        out += ", does not own the socket";
    }
    out += "\n  views: " + std::to_string(count(status, "saverViews")) + " saver, " +
           std::to_string(count(status, "previewViews")) + " preview";
    out += "\n  signals " + std::to_string(count(status, "signals"));
    if (auto event = textOf(member(status, "lastSignalEvent"))) {
        out += " (last " + printableText(*event) + ")";
    }
    out += ", replayed " + std::to_string(count(status, "replayed")) + ", unknown events " +
           std::to_string(count(status, "unknownEvents")) + ", GPU fall-backs " +
           std::to_string(count(status, "metalFallbacks")) + "\n";
    // Hooks of another user (a container's, mapped to some other id) raise no water.
    if (auto refused = count(status, "refusedPeers"); refused > 0) {
        out += "  refused connections of other users: " + std::to_string(refused) +
               " (only this user's and root's hooks are heard)\n";
    }
    return out;
}

// Every past saver leaves a file for a day: one line counts them. A process that is still
// there but silent may be hung, so those pids are named.
std::string staleLine(const std::vector<const StatusReport::Process*>& stale, double now) {
    constexpr std::size_t namedAtMost = 5;
    std::size_t gone = 0;
    std::vector<std::int64_t> silent;
    std::optional<double> newest;
    for (const auto* process : stale) {
        if (process->stale == "process gone") {
            ++gone;
        } else {
            silent.push_back(process->pid);
        }
        if (process->updatedAt && (!newest || *process->updatedAt > *newest)) {
            newest = process->updatedAt;
        }
    }
    std::string out = std::to_string(stale.size()) +
                      " stale (process gone: " + std::to_string(gone) +
                      ", no heartbeat: " + std::to_string(silent.size());
    for (std::size_t index = 0; index < silent.size() && index < namedAtMost; ++index) {
        out += (index == 0 ? ", pid " : " ") + std::to_string(silent[index]);
    }
    if (silent.size() > namedAtMost) {
        out += " and " + std::to_string(silent.size() - namedAtMost) + " more";
    }
    out += ")";
    if (newest) {
        out += ", the newest updated " + ago(now, *newest);
    }
    return out + "; --json lists each\n";
}

}  // namespace

std::string StatusReport::toText(double now) const {
    if (processes.empty()) {
        return "No saver has run here: no status files in " + printableText(directory) + "\n";
    }
    std::string out;
    std::vector<const Process*> stale;
    for (const auto& process : processes) {
        if (!process.status) {
            continue;
        }
        if (process.stale) {
            stale.push_back(&process);
        } else {
            out += processText(process, processes, now);
        }
    }
    if (out.empty()) {
        out = "no saver running\n";
    }
    for (const auto& process : processes) {
        if (!process.status) {
            out += processText(process, processes, now);
        }
    }
    if (!stale.empty()) {
        out += staleLine(stale, now);
    }
    if (unlisted > 0) {
        out += std::to_string(unlisted) + " more status files not shown\n";
    }
    return out;
}

}  // namespace floodmark
