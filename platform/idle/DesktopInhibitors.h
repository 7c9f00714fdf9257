#pragma once

#include <optional>

struct sd_bus;

namespace floodmark {

// What a desktop on the session bus says about idle inhibitors; absent where it does not answer
// (not there, no such method, an error), which callers take for "cannot say".
// GNOME's session manager: IsInhibited with the idle flag.
std::optional<bool> askSessionManagerInhibited(sd_bus* bus);
// The older power-management interface (xfce4-power-manager, KDE's PowerDevil): HasInhibit.
std::optional<bool> askPowerManagementInhibited(sd_bus* bus);

}  // namespace floodmark
