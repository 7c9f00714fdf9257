#pragma once

#include <string>

struct sd_bus;

namespace floodmark::fixtures {

// Input injected into mutter the way remote-desktop tools do it: a session of
// org.gnome.Mutter.RemoteDesktop on mutter's session bus. Mutter closes the session when its
// client goes, so this object holds the one connection for its lifetime.
class MutterRemoteDesktop {
public:
    // Waits until mutter answers on `busAddress` and starts a session there, with its pointer
    // and keyboard plugged in.
    explicit MutterRemoteDesktop(const std::string& busAddress);
    ~MutterRemoteDesktop();
    MutterRemoteDesktop(const MutterRemoteDesktop&) = delete;
    MutterRemoteDesktop& operator=(const MutterRemoteDesktop&) = delete;

    bool started() const { return !session_.empty(); }
    // Moves the pointer by (dx, dy) logical pixels; false when mutter refused.
    bool movePointer(double dx, double dy);
    // Presses and releases one key by its evdev code; false when mutter refused.
    bool tapKey(unsigned keycode);

private:
    bool call(const char* method, const char* types, ...);

    sd_bus* bus_ = nullptr;
    std::string session_;
};

}  // namespace floodmark::fixtures
