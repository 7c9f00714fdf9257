#include "FloodmarkSaver/live/HeldSignalFile.h"

#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/common/JsonValue.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/TailRewrite.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <deque>

namespace floodmark::HeldSignalFile {

namespace {

constexpr std::string_view head = R"({"schema":1,"signals":[)";
constexpr std::string_view tail = "]}\n";
constexpr int schema = 1;

// The elements of the list that `body` starts, split at the list's own commas; an element the
// text ends in (a torn write) is none.
std::vector<std::string_view> listElements(std::string_view body) {
    std::vector<std::string_view> elements;
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    std::size_t start = 0;
    for (std::size_t at = 0; at < body.size(); ++at) {
        char c = body[at];
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if ((c == '}' || c == ']') && depth > 0) {
            --depth;
        } else if ((c == ',' || c == ']') && depth == 0) {
            if (at > start) {
                elements.push_back(body.substr(start, at - start));
            }
            if (c == ']') {
                break;
            }
            start = at + 1;
        }
    }
    return elements;
}

// An element of this writer's (`{"at":STAMP,...}`) read without the parser; any other through it.
std::optional<Entry> entryOf(std::string_view element) {
    if (element.starts_with(stampStart) && element.ends_with('}')) {
        double stamp = 0;
        auto digits = element.substr(stampStart.size());
        auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), stamp);
        if (error == std::errc() && end != digits.data() && (*end == ',' || *end == '}')) {
            return Entry{stamp, std::string(element)};
        }
    }
    auto object = parseJsonText(element);
    const auto* stamp = member(object, "at");
    if (stamp == nullptr || !stamp->is_number()) {
        return std::nullopt;
    }
    return Entry{stamp->get<double>(), object.dump()};
}

std::vector<Entry> parsedEntries(std::string_view text) {
    std::vector<Entry> entries;
    auto file = parseJsonText(text);
    const auto* version = member(file, "schema");
    const auto* signals = member(file, "signals");
    if (version == nullptr || !version->is_number() || version->get<double>() != schema ||
        signals == nullptr || !signals->is_array()) {
        return entries;
    }
    for (const auto& element : *signals) {
        if (const auto* stamp = member(element, "at"); stamp != nullptr && stamp->is_number()) {
            entries.push_back({stamp->get<double>(), element.dump()});
        }
    }
    return entries;
}

}  // namespace

std::vector<Entry> entriesOf(std::string_view text) {
    if (!text.starts_with(head)) {
        return parsedEntries(text);
    }
    std::vector<Entry> entries;
    for (auto element : listElements(text.substr(head.size()))) {
        if (auto entry = entryOf(element)) {
            entries.push_back(std::move(*entry));
        }
    }
    return entries;
}

std::vector<Entry> journalEntries(std::string_view lines) {
    std::vector<Entry> entries;
    for (auto at = lines.find(stampStart); at != std::string_view::npos;) {
        auto next = lines.find(stampStart, at + 1);
        auto end = std::min(lines.find('\n', at), next);
        auto object = parseJsonText(lines.substr(at, end - at));
        if (const auto* stamp = member(object, "at"); stamp != nullptr && stamp->is_number()) {
            entries.push_back({stamp->get<double>(), object.dump()});
        }
        at = next;
    }
    return entries;
}

bool appendInPlace(const std::string& path, const std::vector<Entry>& entries,
                   std::size_t maxBytes) {
    // The closing bracket is written over with ",ENTRY,...]}\n" (no comma in an empty list).
    auto appended = [&](char before) {
        std::string bytes;
        for (const auto& entry : entries) {
            if (!bytes.empty() || before != '[') {
                bytes += ',';
            }
            bytes += entry.text;
        }
        return bytes + std::string(tail);
    };
    return rewriteTail(path, head, tail, appended, maxBytes);
}

bool rewrite(const std::string& path, std::vector<Entry> entries, std::size_t maxBytes) {
    std::deque<Entry> kept(std::make_move_iterator(entries.begin()),
                           std::make_move_iterator(entries.end()));
    std::size_t bytes = head.size() + tail.size();
    for (const auto& entry : kept) {
        bytes += entry.text.size() + 1;
    }
    while (bytes > maxBytes && !kept.empty()) {
        bytes -= kept.front().text.size() + 1;
        kept.pop_front();
    }
    std::string file(head);
    file.reserve(bytes);
    for (std::size_t index = 0; index < kept.size(); ++index) {
        if (index > 0) {
            file += ',';
        }
        file += kept[index].text;
    }
    file += tail;
    // Not flushed to disk: held signals matter for half an hour, and a hook must stay quick.
    return writeFileAtomically(path, file, false, 0600);
}

}  // namespace floodmark::HeldSignalFile
