#pragma once

#include <sys/types.h>
#include <string>

namespace floodmark {

// Creates the directory `path` and every missing directory above it with `mode`; directories
// that exist are left as they are. False when the directory is not there afterwards.
bool createDirectories(const std::string& path, mode_t mode);

// The directory part of `path` ("." for a bare name, "/" for a file in the root).
std::string parentDirectory(const std::string& path);

}  // namespace floodmark
