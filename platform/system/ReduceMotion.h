#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace floodmark {

// The desktop's "reduce motion" setting. Each reader answers true or false, or nothing when its
// desktop has no say (no session bus, no such schema or key, no such file). Readers of the bus
// and of GSettings never have a bus launched: with no DBUS_SESSION_BUS_ADDRESS and no
// $XDG_RUNTIME_DIR/bus they give no answer.
namespace ReduceMotion {

using Reader = std::function<std::optional<bool>()>;

// The desktop portal's org.freedesktop.appearance "reduced-motion" (1 is reduce).
std::optional<bool> readPortal();
// GNOME's org.gnome.desktop.a11y.interface "reduced-motion" = 'reduce'.
std::optional<bool> readGnomeReducedMotion();
// GNOME's org.gnome.desktop.interface "enable-animations" = false.
std::optional<bool> readGnomeAnimationsOff();
// KDE's kdeglobals: [KDE] AnimationDurationFactor=0.
std::optional<bool> readKdeGlobals(const std::string& path);
// $XDG_CONFIG_HOME/kdeglobals, else ~/.config/kdeglobals.
std::string defaultKdeGlobalsPath();

// The first answer of `readers`, in order; off when none answers.
bool firstAnswer(const std::vector<Reader>& readers);

// The readers above in the order the desktops are asked.
std::vector<Reader> systemReaders();

}  // namespace ReduceMotion

// The setting, asked of the readers at most once per `refreshInterval` of the caller's clock.
class ReduceMotionSetting {
public:
    static constexpr double refreshInterval = 1;

    explicit ReduceMotionSetting(std::vector<ReduceMotion::Reader> readers)
        : readers_(std::move(readers)) {}

    bool value(double now);

private:
    std::vector<ReduceMotion::Reader> readers_;
    bool value_ = false;
    std::optional<double> readAt_;
};

}  // namespace floodmark
