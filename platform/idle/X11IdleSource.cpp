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
    return inhibitors_ ? inhibitors_->read() : std::nullopt;
}

}  // namespace floodmark
