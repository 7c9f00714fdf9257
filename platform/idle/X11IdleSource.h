#pragma once

#include "platform/idle/IdleSource.h"
#include "platform/idle/ScreenSaverInhibitors.h"
#include "platform/x11/XConnection.h"
#include "platform/x11/XIdleTime.h"

#include <chrono>
#include <memory>
#include <string>

namespace floodmark {

// The X server's idle time against the timeout: idle once it reaches the timeout, resumed when
// input brings it below. Inhibitors come from org.freedesktop.ScreenSaver on the session bus;
// without a session bus nothing inhibits.
class X11IdleSource final : public IdleSource {
public:
    // Null when the display cannot be opened or has no screen-saver extension.
    static std::unique_ptr<X11IdleSource> open(const std::string& display, double timeout);

    std::string_view name() const override { return "x11"; }
    std::vector<IdleChange> poll() override;
    std::optional<bool> readInhibited() override;

private:
    X11IdleSource(std::unique_ptr<XConnection> connection, double timeout);

    std::unique_ptr<XConnection> connection_;
    XIdleTime idleTime_;
    double timeout_;
    bool idle_ = false;
    std::unique_ptr<ScreenSaverInhibitors> inhibitors_;
    // When the session bus was last looked for, after it was missing or went away.
    std::chrono::steady_clock::time_point busSoughtAt_;
};

}  // namespace floodmark
