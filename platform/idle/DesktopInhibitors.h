#pragma once

#include "platform/system/BusQuestion.h"

namespace floodmark {

// What a desktop on the session bus says about idle inhibitors; absent where it does not answer
// (not there, no such method, an error, silence), which callers take for "cannot say". The
// questions never wait on the desktop: see BusQuestion.
// GNOME's session manager: IsInhibited with the idle flag.
BusQuestion::MakeCall sessionManagerInhibitedCall();
// The older power-management interface (xfce4-power-manager, KDE's PowerDevil): HasInhibit.
BusQuestion::MakeCall powerManagementInhibitedCall();
// Both answer with one boolean.
std::optional<bool> inhibitedReply(sd_bus_message* reply);

}  // namespace floodmark
