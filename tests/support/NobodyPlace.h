#pragma once

#include "support/TempDirectory.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>

namespace floodmark::fixtures {

// Lays out `place` for programs run as user nobody: a folder nobody can enter, `bin/` with
// copies of floodmark and the floodmark-saver it hands drawing to (the build tree may not be
// reachable), and an empty `home/` for the test to fill and then give to nobody. False when the
// copies could not be made.
inline bool layOutForNobody(const TempDirectory& place) {
    chmod(place.path().c_str(), 0755);
    mkdir(place.file("bin").c_str(), 0755);
    mkdir(place.file("home").c_str(), 0700);
    std::string copy = "cp ";
    copy += FLOODMARK_BINARY;
    copy += " ";
    copy += FLOODMARK_BINARY;
    copy += "-saver ";
    copy += place.file("bin");
    return std::system(copy.c_str()) == 0;
}

}  // namespace floodmark::fixtures
