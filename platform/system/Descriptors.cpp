#include "platform/system/Descriptors.h"

#include <dirent.h>
#include <sys/resource.h>

#include <cstdint>

namespace floodmark {

std::size_t descriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return SIZE_MAX;
    }
    return static_cast<std::size_t>(limit.rlim_cur);
}

std::size_t openDescriptorCount() {
    DIR* listing = opendir("/proc/self/fd");
    if (listing == nullptr) {
        return 0;
    }
    std::size_t count = 0;
    while (const dirent* entry = readdir(listing)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(listing);
    // The listing's own descriptor is not the process's.
    return count > 0 ? count - 1 : 0;
}

}  // namespace floodmark
