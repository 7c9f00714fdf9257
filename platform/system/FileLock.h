#pragma once

#include <string>

namespace floodmark {

// An exclusive advisory lock (flock) on a side file, held for the object's life, so that
// processes that rewrite one shared file take turns. It never waits: a holder that is stopped
// or slow must not stop anyone else, so whoever finds the lock taken leaves the work to the
// holder or to the next one. The side file is never removed: a removed lock file would let two
// processes lock two different files.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // False when the lock file could not be opened or another process holds the lock.
    bool held() const { return held_; }

private:
    int descriptor_ = -1;
    bool held_ = false;
};

}  // namespace floodmark
