#include "FloodmarkSaver/status/StatusReport.h"

#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/common/JsonValue.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "platform/kit/InternetTime.h"
#include "platform/system/ReadFile.h"

#include <dirent.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace floodmark {

namespace {

constexpr std::size_t maxStatusBytes = 1 << 20;

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
    return value ? std::string(*value) : fallback;
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

}  // namespace

double StatusReport::staleAfter() { return 2 * SaverStatus::heartbeatInterval; }

StatusReport StatusReport::read(const std::string& directory, double now) {
    StatusReport report{directory, {}};
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) {
        return report;
    }
    while (const dirent* entry = readdir(listing)) {
        auto pid = pidOfName(entry->d_name);
        if (!pid) {
            continue;
        }
        Process process{directory + "/" + entry->d_name, *pid, std::nullopt, std::nullopt,
                        std::nullopt};
        if (auto content = readSmallFile(process.file, maxStatusBytes)) {
            auto parsed = parseJsonText(*content);
            if (parsed.is_object()) {
                process.status = std::move(parsed);
            }
        }
        if (process.status) {
            if (auto stamp = textOf(member(*process.status, "updatedAt"))) {
                process.updatedAt = parseInternetTime(*stamp);
            }
        }
        if (!processExists(*pid)) {
            process.stale = "process gone";
        } else if (!process.updatedAt || now - *process.updatedAt > staleAfter()) {
            process.stale = "no heartbeat";
        }
        report.processes.push_back(std::move(process));
    }
    closedir(listing);
    std::sort(report.processes.begin(), report.processes.end(),
              [](const Process& a, const Process& b) { return a.pid < b.pid; });
    return report;
}

nlohmann::json StatusReport::toJson() const {
    auto processList = nlohmann::json::array();
    for (const auto& process : processes) {
        processList.push_back({{"pid", process.pid},
                               {"file", process.file},
                               {"stale", process.stale.has_value()},
                               {"staleReason", process.stale ? nlohmann::json(*process.stale)
                                                             : nlohmann::json(nullptr)},
                               {"status", process.status.value_or(nullptr)}});
    }
    return {{"directory", directory}, {"processes", processList}};
}

std::string StatusReport::toText(double now) const {
    if (processes.empty()) {
        return "No saver has run here: no status files in " + directory + "\n";
    }
    std::string out;
    for (const auto& process : processes) {
        out += "pid " + std::to_string(process.pid) + ": ";
        if (!process.status) {
            out += "unreadable status file " + process.file + "\n";
            continue;
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
            out += " (last " + std::string(*event) + ")";
        }
        out += ", replayed " + std::to_string(count(status, "replayed")) + ", unknown events " +
               std::to_string(count(status, "unknownEvents")) + ", GPU fall-backs " +
               std::to_string(count(status, "metalFallbacks")) + "\n";
    }
    return out;
}

}  // namespace floodmark
