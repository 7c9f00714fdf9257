#include "FloodmarkSaver/live/HeldSignals.h"

#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/common/JsonValue.h"
#include "FloodmarkSaver/live/SaverReplay.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/ReadFile.h"
#include "platform/system/TailRewrite.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>
#include <optional>

namespace floodmark::HeldSignals {

namespace {

struct Entry {
    double at;  // milliseconds
    std::string text;
};

constexpr std::string_view head = R"({"schema":1,"signals":[)";
constexpr std::string_view tail = "]}\n";
// How this writer starts every element (the JSON writer orders keys, and "at" comes first).
constexpr std::string_view stampStart = R"({"at":)";

// The elements of a file this writer wrote, split at the list's own commas without building
// every element: a full file is rewritten while every other hook waits on the lock. None when
// the file is not of that shape.
std::optional<std::deque<Entry>> ownEntries(std::string_view text) {
    if (!text.starts_with(head) || !text.ends_with(tail)) {
        return std::nullopt;
    }
    std::string_view body = text.substr(head.size(), text.size() - head.size() - tail.size());
    std::deque<Entry> entries;
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    std::size_t start = 0;
    for (std::size_t at = 0; at <= body.size(); ++at) {
        char c = at < body.size() ? body[at] : ',';
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if ((c == '}' || c == ']') && depth > 0) {
            --depth;
        } else if (c == ',' && depth == 0) {
            std::string_view element = body.substr(start, at - start);
            double stamp = 0;
            if (!element.starts_with(stampStart) || !element.ends_with('}')) {
                return body.empty() ? std::optional(entries) : std::nullopt;
            }
            auto digits = element.substr(stampStart.size());
            auto [end, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), stamp);
            if (error != std::errc() || end == digits.data()) {
                return std::nullopt;
            }
            entries.push_back({stamp, std::string(element)});
            start = at + 1;
        }
    }
    return depth == 0 && !inString ? std::optional(entries) : std::nullopt;
}

// Every element of any file the reader would take, through the JSON parser.
std::deque<Entry> parsedEntries(const std::string& content) {
    std::deque<Entry> entries;
    auto file = parseJsonText(content);
    const auto* version = member(file, "schema");
    const auto* signals = member(file, "signals");
    if (version == nullptr || !version->is_number() ||
        version->get<double>() != SaverReplay::schema || signals == nullptr ||
        !signals->is_array()) {
        return entries;
    }
    for (const auto& element : *signals) {
        const auto* stamp = member(element, "at");
        if (!element.is_object() || stamp == nullptr || !stamp->is_number()) {
            continue;  // one stray element would make the reader reject every entry
        }
        entries.push_back({stamp->get<double>(), element.dump()});
    }
    return entries;
}

// The entries of the existing file that are still worth replaying, oldest first. A file the
// reader would reject (half written by someone else, a foreign schema) is started afresh.
std::deque<Entry> keptEntries(const std::string& replayPath, double nowMs) {
    auto content = readSmallFile(replayPath, SaverReplay::maxFileBytes);
    if (!content) {
        return {};
    }
    auto entries = ownEntries(*content);
    if (!entries) {
        entries = parsedEntries(*content);
    }
    double oldest = nowMs - SaverReplay::window * 1000;
    std::erase_if(*entries, [&](const Entry& entry) {
        return !std::isfinite(entry.at) || entry.at < oldest;
    });
    std::stable_sort(entries->begin(), entries->end(),
                     [](const Entry& a, const Entry& b) { return a.at < b.at; });
    return std::move(*entries);
}

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
