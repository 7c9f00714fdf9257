#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace floodmark {

enum class IdleChange { idled, resumed };

// Where the idle watcher learns that the session went idle (for its timeout) and that the user
// came back: an idle protocol of the compositor, a desktop's idle monitor, or the X server.
class IdleSource {
public:
    virtual ~IdleSource() = default;
    // As `floodmark status` shows it: "ext-idle-notify", "kde-idle", "gnome-idle-monitor", "x11".
    virtual std::string_view name() const = 0;
    // What changed since the last call, oldest first.
    virtual std::vector<IdleChange> poll() = 0;
    // The connection to the provider is gone: the session is over.
    virtual bool lost() const { return false; }
    // Whether something holds idleness off (a video, a presentation), where the source asks
    // for it separately; absent where the provider folds it into its idle events or cannot say.
    virtual std::optional<bool> readInhibited() { return std::nullopt; }
    // How long after a saver starts a resume may be only its own surfaces appearing, seconds:
    // a compositor may count a window that maps and takes focus as activity (cage does).
    virtual double ownSurfacesGrace() const { return 0; }
};

}  // namespace floodmark
