#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace floodmark {

// A file of lines that any number of processes append to without ever waiting on each other or
// on a reader, and that a reader takes away whole. A taker first renames the journal aside, to
// a part of its own ("PATH.taken-PID-N"), then reads each part only once no append that began
// before is still writing to it (appenders hold a shared flock for their one write, a taker
// tries an exclusive one): so no line is read twice, and none lands where no one looks.

// Appends `line`, one whole line, in one write(). A journal that has reached `maxBytes` is set
// aside first as the one older generation ("PATH.full"), which replaces the one before: the
// oldest lines go, the journal stays bounded. False when the line could not be written; a line
// that a full disk cuts short stays a fragment, which readers must tell from a whole line.
bool appendToJournal(const std::string& path, std::string_view line, std::size_t maxBytes);

// Whether anything waits to be taken at `path`: the journal, its older generation, or parts
// that an earlier taker could not read or did not remove.
bool journalWaiting(const std::string& path);

// Takes the journal at `path`: sets it and its older generation aside, and reads every part of
// this process or of one that is gone that no appender still writes to, the newest `maxBytes`
// of the parts together at most. The parts stay locked until remove() deletes them, or the
// object's end leaves them for the next taker (a caller that could not keep what it read).
class JournalTake {
public:
    JournalTake(const std::string& path, std::size_t maxBytes);
    ~JournalTake();
    JournalTake(const JournalTake&) = delete;
    JournalTake& operator=(const JournalTake&) = delete;

    // The parts' bytes, each followed by a line end.
    const std::string& text() const { return text_; }
    void remove();

private:
    struct Part {
        std::string path;
        int descriptor;
    };
    void read(const std::string& partPath, std::size_t& budget);

    std::vector<Part> parts_;
    std::string text_;
};

}  // namespace floodmark
