#pragma once

#include <string>

namespace floodmark {

// An exclusive advisory lock (flock) on a side file, held for the object's life, so that
// processes that rewrite one shared file take turns. The side file is never removed: a
// removed lock file would let two processes lock two different files.
class FileLock {
public:
    // Waits at most `timeoutSeconds` for a holder to let go (asleep, woken by a timer signal to
    // this thread at the deadline): a stopped holder must not stop everyone else.
    FileLock(const std::string& path, double timeoutSeconds);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // False when the lock file could not be opened or locked; the caller goes on unlocked.
    bool held() const { return held_; }

private:
    int descriptor_ = -1;
    bool held_ = false;
};

}  // namespace floodmark
