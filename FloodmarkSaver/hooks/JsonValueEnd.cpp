#include "FloodmarkSaver/hooks/JsonValueEnd.h"

namespace floodmark {

bool JsonValueEnd::feed(std::string_view chunk) {
    for (char c : chunk) {
        if (ended_) {
            break;
        }
        if (inString_) {
            if (escaped_) {
                escaped_ = false;
            } else if (c == '\\') {
                escaped_ = true;
            } else if (c == '"') {
                inString_ = false;
            }
        } else if (c == '"') {
            inString_ = true;
        } else if (c == '{' || c == '[') {
            started_ = true;
            ++depth_;
        } else if ((c == '}' || c == ']') && depth_ > 0) {
            ended_ = --depth_ == 0;
        }
    }
    return ended_ && started_;
}

}  // namespace floodmark
