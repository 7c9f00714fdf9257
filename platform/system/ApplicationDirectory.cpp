#include "platform/system/ApplicationDirectory.h"

#include "platform/system/HomeDirectory.h"

#include <cstdlib>

namespace floodmark {

const std::string& applicationDirectory() {
    static const std::string directory = [] {
        const char* state = std::getenv("XDG_STATE_HOME");
        std::string base = state != nullptr && state[0] == '/' ? std::string(state)
                                                               : expandTilde("~/.local/state");
        return base + "/TolveraFloodmarkSaver";
    }();
    return directory;
}

}  // namespace floodmark
