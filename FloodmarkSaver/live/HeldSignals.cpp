#include "FloodmarkSaver/live/HeldSignals.h"

#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/common/JsonValue.h"
#include "FloodmarkSaver/live/SaverReplay.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/ReadFile.h"
#include "platform/system/TailRewrite.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <deque>

namespace floodmark::HeldSignals {

namespace {

struct Entry {
    double at;  // milliseconds
    std::string text;
};

// The entries of the existing file that are still worth replaying, oldest first. A file the
// reader would reject (half written by someone else, a foreign schema) is started afresh.
std::deque<Entry> keptEntries(const std::string& replayPath, double nowMs) {
    std::deque<Entry> entries;
    auto content = readSmallFile(replayPath, SaverReplay::maxFileBytes);
    if (!content) {
        return entries;
    }
    auto file = parseJsonText(*content);
    const auto* version = member(file, "schema");
    const auto* signals = member(file, "signals");
    if (version == nullptr || !version->is_number() ||
        version->get<double>() != SaverReplay::schema || signals == nullptr ||
        !signals->is_array()) {
        return entries;
    }
    double oldest = nowMs - SaverReplay::window * 1000;
    for (const auto& element : *signals) {
        const auto* stamp = member(element, "at");
        if (!element.is_object() || stamp == nullptr || !stamp->is_number()) {
            continue;  // one stray element would make the reader reject every entry
        }
        double at = stamp->get<double>();
        if (std::isfinite(at) && at >= oldest) {
            entries.push_back({at, element.dump()});
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.at < b.at; });
    return entries;
}

constexpr std::string_view head = R"({"schema":1,"signals":[)";
constexpr std::string_view tail = "]}\n";

// Rewrites the file with what is still worth replaying plus `entry`, the oldest going first
// until it fits in `compactedBytes`: the next appends then have room before the next rewrite.
bool compact(const std::string& replayPath, Entry entry, double nowMs) {
    auto entries = keptEntries(replayPath, nowMs);
    entries.push_back(std::move(entry));
    std::size_t bytes = head.size() + tail.size();
    for (const auto& kept : entries) {
        bytes += kept.text.size() + 1;
    }
    while (bytes > compactedBytes && entries.size() > 1) {
        bytes -= entries.front().text.size() + 1;
        entries.pop_front();
    }
    std::string file(head);
    file.reserve(bytes);
    for (std::size_t index = 0; index < entries.size(); ++index) {
        if (index > 0) {
            file += ',';
        }
        file += entries[index].text;
    }
    file += tail;
    // Not flushed to disk: held signals matter for half an hour, and a hook must stay quick.
    return writeFileAtomically(replayPath, file, false, 0600);
}

}  // namespace

std::string lockPath(const std::string& replayPath) {
    return replayPath + ".lock";
}

bool add(const std::string& replayPath, const nlohmann::json& signal, double now) {
    double nowMs = std::floor(now * 1000);
    nlohmann::json stamped = signal;
    stamped["at"] = static_cast<std::int64_t>(nowMs);
    Entry entry{nowMs, stamped.dump()};
    // Rewrites are rare now: a rewrite a killed writer left half done is not left for them.
    removeStaleTemporaries(replayPath);
    // The closing bracket is written over with ",ENTRY]}\n" (no comma in an empty list).
    auto appended = [&](char before) {
        return (before == '[' ? "" : ",") + entry.text + std::string(tail);
    };
    return rewriteTail(replayPath, head, tail, appended, maxKeptBytes) ||
           compact(replayPath, std::move(entry), nowMs);
}

}  // namespace floodmark::HeldSignals
