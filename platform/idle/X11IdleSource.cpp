#include "platform/idle/X11IdleSource.h"

namespace floodmark {

std::unique_ptr<X11IdleSource> X11IdleSource::open(const std::string& display, double timeout) {
    auto connection = XConnection::open(display);
    if (!connection) {
        return nullptr;
    }
    std::unique_ptr<X11IdleSource> source(new X11IdleSource(std::move(connection), timeout));
    if (!source->idleTime_.seconds()) {
        return nullptr;
    }
    source->inhibitors_ = ScreenSaverInhibitors::open();
    source->busSoughtAt_ = std::chrono::steady_clock::now();
    return source;
}

X11IdleSource::X11IdleSource(std::unique_ptr<XConnection> connection, double timeout)
    : connection_(std::move(connection)),
      idleTime_(connection_->display(), connection_->root()),
      timeout_(timeout) {}

std::vector<IdleChange> X11IdleSource::poll() {
    // Inhibit calls are answered here, more often than inhibitors are read.
    if (inhibitors_) {
        inhibitors_->serve();
    }
    auto seconds = idleTime_.seconds();
    if (!seconds || (*seconds >= timeout_) == idle_) {
        return {};
    }
    idle_ = !idle_;
    return {idle_ ? IdleChange::idled : IdleChange::resumed};
}

std::optional<bool> X11IdleSource::readInhibited() {
    // A session bus that restarted (or came late) is looked for every few seconds, so that
    // players' Inhibit calls reach the watcher again.
    constexpr auto retryInterval = std::chrono::seconds(3);
    auto now = std::chrono::steady_clock::now();
    if ((!inhibitors_ || inhibitors_->lost()) && now - busSoughtAt_ >= retryInterval) {
        busSoughtAt_ = now;
        inhibitors_ = ScreenSaverInhibitors::open();
    }
    return inhibitors_ ? inhibitors_->read() : std::nullopt;
}

}  // namespace floodmark
