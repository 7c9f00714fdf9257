#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace floodmark::HeldSignalFile {

// The bytes of the held-signal file and of its journal, with no view of what a signal is: each
// entry is one JSON object with an "at" stamp, milliseconds since 1970.
struct Entry {
    double at;
    std::string text;
};

// How this writer starts every entry (the JSON writer orders keys, and "at" comes first); it
// cannot occur inside a JSON string, whose quotes are escaped.
inline constexpr std::string_view stampStart = R"({"at":)";

// The entries of a held file (`{"schema":1,"signals":[...]}`), in file order. A file this
// writer wrote is split at its own commas, without building every element, and one whose end
// was torn off keeps every whole entry before the tear; any other file goes through the JSON
// parser. Elements that are no object with a numeric "at" are left out.
std::vector<Entry> entriesOf(std::string_view text);

// The entries of journal lines, in order. A fragment that a failed write left (and that the
// next line may have joined) is left out; the whole entries around it are kept.
std::vector<Entry> journalEntries(std::string_view lines);

// Adds `entries` to the end of the held file at `path`, in place, if it is of this writer's
// shape and stays within `maxBytes`. A write that fails (a full disk) leaves the file as it
// was. False when nothing was added.
bool appendInPlace(const std::string& path, const std::vector<Entry>& entries,
                   std::size_t maxBytes);

// Replaces the file at `path` with `entries`, newest last, the oldest going first until it
// fits in `maxBytes`; the old file stays whole when the write fails.
bool rewrite(const std::string& path, std::vector<Entry> entries, std::size_t maxBytes);

}  // namespace floodmark::HeldSignalFile
