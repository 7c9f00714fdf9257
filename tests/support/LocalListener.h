#pragma once

#include <string>
#include <vector>

namespace floodmark::fixtures {

// A listener on a Unix-domain socket path, as a saver's socket is. With `stuck` its backlog is
// filled and nothing is ever accepted: a saver that is stopped (SIGSTOP) or hung.
class LocalListener {
public:
    explicit LocalListener(const std::string& path, bool stuck = false);
    ~LocalListener();
    LocalListener(const LocalListener&) = delete;
    LocalListener& operator=(const LocalListener&) = delete;

    // The first line a client sends, waiting up to two seconds for one; empty when none came.
    std::string firstLine();

private:
    int descriptor_ = -1;
    std::vector<int> fillers_;
};

}  // namespace floodmark::fixtures
