#include "FloodmarkSaver/idle/WatcherStatus.h"

#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/common/Utf8Text.h"
#include "platform/system/ReadFile.h"

#include <nlohmann/json.hpp>

#include <signal.h>

#include <cerrno>
#include <cmath>
#include <cstdio>

namespace floodmark {

namespace {

constexpr int schema = 1;
constexpr std::size_t maxBytes = 64 * 1024;

std::string yesNo(bool value) {
    return value ? "yes" : "no";
}

}  // namespace

std::string WatcherStatus::toJsonText() const {
    nlohmann::json json = {{"schema", schema},
                           {"pid", pid},
                           {"source", source},
                           {"timeoutSeconds", timeoutSeconds},
                           {"inhibited", inhibited},
                           {"locked", locked},
                           {"saverRunning", saverRunning},
                           {"gaveUp", gaveUp},
                           {"updatedAt", updatedAt}};
    return json.dump() + "\n";
}

std::optional<WatcherStatus> WatcherStatus::read(const std::string& path) {
    auto bytes = readSmallFile(path, maxBytes);
    if (!bytes) {
        return std::nullopt;
    }
    auto json = parseJsonText(*bytes);
    if (!json.is_object() || json.value("schema", nlohmann::json()) != schema) {
        return std::nullopt;
    }
    auto number = [&](const char* key) -> std::optional<double> {
        auto found = json.find(key);
        if (found == json.end() || !found->is_number() || !std::isfinite(found->get<double>())) {
            return std::nullopt;
        }
        return found->get<double>();
    };
    auto flag = [&](const char* key) -> std::optional<bool> {
        auto found = json.find(key);
        if (found == json.end() || !found->is_boolean()) {
            return std::nullopt;
        }
        return found->get<bool>();
    };
    auto pidNumber = json.find("pid");
    auto sourceText = json.find("source");
    auto timeout = number("timeoutSeconds");
    auto updated = number("updatedAt");
    auto inhibited = flag("inhibited");
    auto locked = flag("locked");
    auto saver = flag("saverRunning");
    auto gaveUp = flag("gaveUp");
    if (pidNumber == json.end() || !pidNumber->is_number_integer() || sourceText == json.end() ||
        !sourceText->is_string() || sourceText->get_ref<const std::string&>().size() > 64 ||
        !timeout || !updated || !inhibited || !locked || !saver || !gaveUp) {
        return std::nullopt;
    }
    return WatcherStatus{pidNumber->get<std::int64_t>(),
                         sourceText->get<std::string>(),
                         *timeout,
                         *inhibited,
                         *locked,
                         *saver,
                         *gaveUp,
                         *updated};
}

std::string WatcherStatus::toText(double now) const {
    char timeout[32];
    std::snprintf(timeout, sizeof timeout, "%g s", timeoutSeconds);
    bool alive =
        pid > 0 && pid <= 0x7fffffff && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
    std::string state = !alive                         ? "stopped (process gone)"
                        : now - updatedAt > staleAfter ? "stale (no heartbeat)"
                                                       : "running";
    // Only GNOME's session manager and org.freedesktop.ScreenSaver say who inhibits; a Wayland
    // idle protocol only leaves out the idle event while a client inhibits.
    bool compositorDecides = source == "ext-idle-notify" || source == "kde-idle";
    std::string inhibitedText =
        compositorDecides
            ? "unknown (the compositor holds idleness off for its idle inhibitors without telling)"
            : yesNo(inhibited);
    return "idle watcher " + std::to_string(pid) + ": " + state +
           "\n  source: " + printableText(source) + "\n  timeout: " + timeout +
           "\n  inhibited: " + inhibitedText + "\n  locked: " + yesNo(locked) +
           "\n  saver running: " + yesNo(saverRunning) +
           (gaveUp ? "\n  gave up: the saver crashed 3 times in 10 minutes" : "") + "\n";
}

}  // namespace floodmark
