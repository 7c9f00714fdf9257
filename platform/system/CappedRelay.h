#pragma once

#include <cstddef>

namespace floodmark {

// Passes what child processes write to their standard error on to ours, at most `budget` bytes
// a `window` of seconds; the rest is read and left out, so that a child that writes without
// end neither floods the journal nor waits long on a full pipe.
class CappedRelay {
public:
    CappedRelay(std::size_t budget, double window);
    ~CappedRelay();
    CappedRelay(const CappedRelay&) = delete;
    CappedRelay& operator=(const CappedRelay&) = delete;

    // The descriptor a child takes as its standard error; -1 when no pipe could be made (the
    // child then writes to ours directly).
    int childEnd() const { return write_; }
    // Reads what waits and passes on what the budget allows; often, so that writers never wait.
    void drain(double now);

private:
    std::size_t budget_;
    double window_;
    int read_ = -1;
    int write_ = -1;
    double windowStart_ = 0;
    std::size_t passed_ = 0;
    bool saidLeftOut_ = false;
};

}  // namespace floodmark
