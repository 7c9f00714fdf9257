#pragma once

#include <cstddef>
#include <string_view>

namespace floodmark {

// Tells, chunk by chunk, when the bytes read so far hold one whole JSON object or array: an
// agent may leave its end of the pipe open after writing the payload, and the hook must not
// wait for an end of file that never comes. Only brackets outside strings are counted; whether
// the text is valid JSON is the parser's to say.
class JsonValueEnd {
public:
    // True once the value that began in an earlier chunk or this one has closed.
    bool feed(std::string_view chunk);

private:
    std::size_t depth_ = 0;
    bool started_ = false;
    bool inString_ = false;
    bool escaped_ = false;
    bool ended_ = false;
};

}  // namespace floodmark
