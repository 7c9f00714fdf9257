#pragma once

#include <cstddef>

namespace floodmark {

// The process's soft limit on open descriptors (RLIMIT_NOFILE); SIZE_MAX when unlimited.
std::size_t descriptorLimit();

// How many descriptors the process has open now (the entries of /proc/self/fd); 0 when that
// cannot be read.
std::size_t openDescriptorCount();

}  // namespace floodmark
