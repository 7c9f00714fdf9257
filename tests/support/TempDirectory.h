#pragma once

#include <string>

namespace floodmark::fixtures {

// A fresh directory under `parent` (/tmp unless told), removed with everything in it when the
// object goes.
class TempDirectory {
public:
    explicit TempDirectory(const std::string& parent = "/tmp");
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);

}  // namespace floodmark::fixtures
