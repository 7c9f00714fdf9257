#pragma once

namespace floodmark {

// Whether systemd-logind says this process's session is locked (its LockedHint). No bus, no
// session, or any error reads as not locked.
bool readSessionLocked();

}  // namespace floodmark
