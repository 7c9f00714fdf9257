#pragma once

namespace floodmark {

// Whether a screen locker of this user runs: one of the Wayland lockers that hold an
// ext-session-lock (which no other client can see) or an X11 locker that grabs the screen.
// Such lockers seldom tell logind, so its LockedHint stays false while they own the screen.
bool lockerProgramRunning();

}  // namespace floodmark
