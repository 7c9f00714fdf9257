#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>

namespace floodmark {

// Sends signal and ping lines to the saver's socket for agent hooks and scripts. It never waits
// on the socket longer than `timeout`; a signal that cannot be delivered is held beside the
// socket for the next saver to replay. Pings are never held: they only say "alive, now".
class SignalSender {
public:
    enum class Outcome { delivered, held, lost };

    // How long a line may wait to be connected, written and read by the saver; a line the saver
    // has not read by then is held as well (a saver that accepts but never reads must not
    // swallow it; a slow one may replay it a second time, which is the lesser harm).
    static constexpr double timeout = 0.2;

    explicit SignalSender(std::string socketPath);

    // `line` is one JSON object as on the socket; `now` stamps it if it is held.
    Outcome send(const nlohmann::json& line, double now) const;
    // Only tries the socket; never holds.
    bool deliver(const nlohmann::json& line) const;

private:
    enum class Delivery { read, unread, notReached };
    Delivery deliverText(const std::string& text, double timeoutSeconds,
                         double readTimeoutSeconds) const;

    std::string socketPath_;
};

}  // namespace floodmark
