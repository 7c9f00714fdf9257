#pragma once

#include "FloodmarkSaver/live/LiveSignal.h"

#include <optional>
#include <string>
#include <string_view>

namespace floodmark {

// What one line on the socket is: a signal, a ping (with its session), an unknown event, a
// signal whose names are longer than the saver takes, or nothing. The line is parsed once.
struct LiveLine {
    enum class Kind { ignored, signal, ping, unknownEvent, overlong };

    Kind kind = Kind::ignored;
    std::optional<LiveSignal> signal;    // for `signal`
    std::optional<std::string> session;  // for `ping`

    static LiveLine classify(std::string_view line);
};

}  // namespace floodmark
