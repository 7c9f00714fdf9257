#include "FloodmarkSaver/live/SignalSender.h"

#include "FloodmarkSaver/live/HeldSignals.h"
#include "FloodmarkSaver/live/LiveSignal.h"
#include "platform/system/Files.h"
#include "platform/system/LocalSocket.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>

namespace floodmark {

SignalSender::SignalSender(std::string socketPath) : socketPath_(std::move(socketPath)) {}

SignalSender::Delivery SignalSender::deliverText(const std::string& text, double timeoutSeconds,
                                                 double readTimeoutSeconds) const {
    auto started = std::chrono::steady_clock::now();
    auto left = [&](double budget) {
        return budget -
               std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    LocalSocket socket;
    if (socket.connect(socketPath_, timeoutSeconds) != LocalSocket::Reach::connected ||
        !socket.sendAll(text, left(timeoutSeconds))) {
        return Delivery::notReached;
    }
    return socket.waitUntilRead(std::max(left(readTimeoutSeconds), 0.0)) ? Delivery::read
                                                                         : Delivery::unread;
}

bool SignalSender::deliver(const nlohmann::json& line) const {
    return deliverText(line.dump() + "\n", timeout, timeout) == Delivery::read;
}

SignalSender::Outcome SignalSender::send(const nlohmann::json& line, double now) const {
    std::string text = line.dump() + "\n";
    if (deliverText(text, timeout, timeout) == Delivery::read) {
        return Outcome::delivered;
    }
    if (!LiveSignal::fromJson(line)) {
        return Outcome::lost;
    }
    // A saver that binds meanwhile finds the signal within a second, as it looks again then.
    std::string replayPath = HeldSignals::path(socketPath_);
    createDirectories(parentDirectory(replayPath), 0700);
    return HeldSignals::hold(replayPath, line, now) ? Outcome::held : Outcome::lost;
}

}  // namespace floodmark
