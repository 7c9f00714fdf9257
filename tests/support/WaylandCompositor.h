#pragma once

#include "support/ReadBack.h"
#include "support/TempDirectory.h"

#include <sys/types.h>
#include <string>
#include <vector>

namespace floodmark::fixtures {

// A headless Wayland compositor of the test's own: sway (layer-shell, wlroots), weston
// (no layer-shell: full-screen windows), cage (a kiosk of one full-screen window) or mutter
// (GNOME's: neither layer-shell nor a Wayland idle protocol, but D-Bus services on a session bus of
// its own). Sway, weston and cage refuse or dislike root, so under root they run as nobody, in a
// runtime directory of nobody's. Stopped, with everything it started, when the object goes.
// debian13Sway is Debian 13's sway 1.10 (ext-idle-notify-v1, fractional scale, headless outputs
// that can be unplugged), run by chroot from the root that scripts/make-sway-root lays out in
// build/debian13-sway, in a mount namespace of its own; its runtime directory lies inside that
// root, where the clients outside reach its socket by path; on a machine whose own sway is 1.10
// or later, that sway, with no root.
class WaylandCompositor {
public:
    enum class Kind { sway, weston, mutter, debian13Sway, cage };

    // Why this kind cannot run here (to skip with), or empty when it can.
    static std::string unavailable(Kind kind);
    // Why the machine's sway offers no KDE idle protocol, or empty when it does.
    static std::string unavailableKdeIdle();

    // One output per size ("640x360"); weston takes the first size only.
    WaylandCompositor(Kind kind, const std::vector<std::string>& outputSizes);
    ~WaylandCompositor();
    WaylandCompositor(const WaylandCompositor&) = delete;
    WaylandCompositor& operator=(const WaylandCompositor&) = delete;

    bool running() const { return running_; }
    // The socket's path, and what a client's environment needs to find it.
    std::string socketPath() const { return runtime_ + "/" + socket_; }
    std::vector<std::string> environment() const;
    // Mutter's session bus; empty for the others.
    const std::string& busAddress() const { return busAddress_; }
    // The outputs' names, in the order of the sizes.
    std::vector<std::string> outputNames() const;

    // A sway command through swaymsg; its exit status.
    int swaymsg(const std::string& command) const;
    // What swaymsg answers to a query such as "-t get_tree".
    std::string swayReply(const std::string& query) const;
    // One output's picture (grim -o NAME; weston: weston-screenshooter of the whole screen)
    // into `path`; false when none was taken, as always on mutter.
    bool screenshot(const std::string& output, const std::string& path) const;
    // Whether a fresh screenshot of one output (taken into `path`) shows the saver's dark canvas
    // (about 22, 23, 25 near the top left, below a window's title bar), not sway's grey
    // background (63, 63, 63).
    bool showsCanvas(const std::string& output, const std::string& path) const;
    // Starts a program with the compositor's environment as the compositor's user; its pid.
    pid_t spawn(const std::vector<std::string>& words) const;

    // Ends the compositor at once, as a crash would.
    void kill();

private:
    std::string environmentWords() const;
    int runWith(const std::string& command) const;
    bool isSway() const { return kind_ == Kind::sway || kind_ == Kind::debian13Sway; }
    // Where the compositor itself sees `path` of the outside: inside the root for debian13Sway.
    std::string seenInside(const std::string& path) const;

    Kind kind_;
    bool chrooted_;
    TempDirectory place_;
    std::string runtime_;
    std::string socket_ = "wayland-fm";
    std::string busAddress_;
    pid_t pid_ = -1;
    pid_t mutterPid_ = -1;  // inside dbus-run-session
    bool running_ = false;
    std::size_t outputs_ = 0;
};

}  // namespace floodmark::fixtures
