#include "FloodmarkSaver/live/SignalSender.h"

#include "FloodmarkSaver/live/HeldSignals.h"
#include "FloodmarkSaver/live/LiveSignal.h"
#include "FloodmarkSaver/live/SaverReplay.h"
#include "platform/system/FileLock.h"
#include "platform/system/Files.h"
#include "platform/system/LocalSocket.h"

#include <nlohmann/json.hpp>

namespace floodmark {

SignalSender::SignalSender(std::string socketPath) : socketPath_(std::move(socketPath)) {}

bool SignalSender::deliverText(const std::string& text, double timeoutSeconds) const {
    LocalSocket socket;
    return socket.connect(socketPath_, timeoutSeconds) == LocalSocket::Reach::connected &&
           socket.sendAll(text, timeoutSeconds);
}

bool SignalSender::deliver(const nlohmann::json& line) const {
    return deliverText(line.dump() + "\n", timeout);
}

SignalSender::Outcome SignalSender::send(const nlohmann::json& line, double now) const {
    std::string text = line.dump() + "\n";
    if (deliverText(text, timeout)) {
        return Outcome::delivered;
    }
    if (!LiveSignal::fromJson(line)) {
        return Outcome::lost;
    }
    std::string replayPath = SaverReplay::path(socketPath_);
    createDirectories(parentDirectory(replayPath), 0700);
    FileLock lock(HeldSignals::lockPath(replayPath), HeldSignals::writerLockTimeout);
    if (!lock.held()) {
        return Outcome::lost;
    }
    // A saver that bound meanwhile has read the file already: hand it the signal directly.
    if (deliverText(text, 0)) {
        return Outcome::delivered;
    }
    return HeldSignals::add(replayPath, line, now) ? Outcome::held : Outcome::lost;
}

}  // namespace floodmark
