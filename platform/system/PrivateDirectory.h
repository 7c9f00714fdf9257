#pragma once

#include <string>
#include <string_view>

namespace floodmark {

// A directory of our own opened without following a symbolic link at it or at its parent, so
// that files written and pruned in it can never land in, or be taken from, a folder that a link
// points to. Work goes relative to the open descriptor.
class PrivateDirectory {
public:
    // Opens `path`, creating it (and what is missing above it) with mode 0700 first. Not open
    // when the path or its parent is a link, or not a directory.
    explicit PrivateDirectory(const std::string& path);
    ~PrivateDirectory();
    PrivateDirectory(const PrivateDirectory&) = delete;
    PrivateDirectory& operator=(const PrivateDirectory&) = delete;

    bool isOpen() const { return descriptor_ >= 0; }
    int descriptor() const { return descriptor_; }

private:
    int descriptor_ = -1;
};

}  // namespace floodmark
