#include "support/StandInSaver.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace floodmark::fixtures {

StandInSaver::StandInSaver(const TempDirectory& home, const std::string& body)
    : path_(home.file("stand-in")), startsPath_(home.file("starts")) {
    writeFile(path_, "#!/bin/sh\necho $$ \"$@\" >> '" + startsPath_ + "'\n" + body + "\n");
    chmod(path_.c_str(), 0755);
}

std::vector<int> StandInSaver::starts() const {
    std::vector<int> pids;
    std::ifstream file(startsPath_);
    for (std::string line; std::getline(file, line);) {
        int pid = 0;
        if (std::istringstream(line) >> pid) {
            pids.push_back(pid);
        }
    }
    return pids;
}

std::vector<std::string> StandInSaver::arguments() const {
    std::vector<std::string> lines;
    std::ifstream file(startsPath_);
    for (std::string line; std::getline(file, line);) {
        auto space = line.find(' ');
        lines.push_back(space == std::string::npos ? "" : line.substr(space + 1));
    }
    return lines;
}

}  // namespace floodmark::fixtures
