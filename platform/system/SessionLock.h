#pragma once

namespace floodmark {

// Whether systemd-logind says this process's session (or, outside one, the user's display
// session) is locked: its LockedHint, as last answered. Never waits: the question goes out now
// and its answer is read at a later call. No bus, no answer yet, or any error reads as not
// locked.
bool readSessionLocked();

}  // namespace floodmark
