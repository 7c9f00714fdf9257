#include "support/TempDirectory.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace floodmark::fixtures {

TempDirectory::TempDirectory(const std::string& parent) {
    // Short names keep socket paths well inside the address limit.
    std::string pattern = parent + "/fm.XXXXXX";
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
}

TempDirectory::~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

bool fileExists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

}  // namespace floodmark::fixtures
