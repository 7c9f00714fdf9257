// The saver on GNOME's real compositor: mutter 43 has no layer-shell, so the saver asks for a
// full-screen toplevel on each output, and input that a remote-desktop tool sends ends it.
#include "support/MutterRemoteDesktop.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/WaylandCompositor.h"

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

namespace floodmark {
namespace {

using fixtures::MutterRemoteDesktop;
using fixtures::TempDirectory;
using fixtures::waitUntil;
using fixtures::WaylandCompositor;
using namespace std::chrono_literals;

// Whether `text` holds each of `pieces`, each after the one before.
bool inOrder(const std::string& text, const std::vector<std::string>& pieces) {
    std::size_t at = 0;
    for (const auto& piece : pieces) {
        at = text.find(piece, at);
        if (at == std::string::npos) {
            return false;
        }
        at += piece.size();
    }
    return true;
}

// The exit status of `pid` once it ended within `limit`; −1 while it runs or if a signal ended it.
int exitWithin(pid_t pid, std::chrono::milliseconds limit) {
    int status = 0;
    bool ended = waitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit);
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MutterSaver, AFullScreenToplevelCoversTheOutputUntilPointerOrKeyInput) {
    if (auto why = WaylandCompositor::unavailable(WaylandCompositor::Kind::mutter); !why.empty()) {
        GTEST_SKIP() << why;
    }
    WaylandCompositor mutter(WaylandCompositor::Kind::mutter, {"1024x768"});
    ASSERT_TRUE(mutter.running());
    // Its virtual devices give mutter's seat a pointer and a keyboard.
    MutterRemoteDesktop input(mutter.busAddress());
    ASSERT_TRUE(input.started());
    struct Case {
        std::string name;
        std::function<bool()> send;
    };
    std::vector<Case> cases{
        {"pointer", [&] { return input.movePointer(40, 30); }},
        {"key", [&] { return input.tapKey(KEY_SPACE); }},
        // Super opens the overview and never reaches a window: GNOME's idle monitor sees it.
        {"Super", [&] { return input.tapKey(KEY_LEFTMETA); }},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        TempDirectory home;
        std::string log = home.file("protocol.log");
        pid_t saver =
            mutter.spawn({"sh", "-c",
                          "HOME='" + home.path() + "' XDG_STATE_HOME= WAYLAND_DEBUG=client exec '" +
                              FLOODMARK_BINARY + "' --wayland 2>'" + log + "'"});
        // libwayland's own log of the protocol: full screen asked for, configured to the
        // output's size, and a buffer of that size (offset 0, stride 4096) drawn.
        EXPECT_TRUE(waitUntil([&] {
            return inOrder(fixtures::protocolLog(log),
                           {"xdg_toplevel@", ".set_fullscreen(wl_output@", "xdg_toplevel@",
                            ".configure(1024, 768, ", "wl_shm_pool@",
                            ".create_buffer(new id wl_buffer@", ", 0, 1024, 768, 4096, "});
        })) << fixtures::protocolLog(log).substr(0, 4000);
        EXPECT_EQ(fixtures::protocolLog(log).find("layer_shell"), std::string::npos);
        // What moves in the first second is the compositor settling; then the user's hand.
        std::this_thread::sleep_for(1200ms);
        ASSERT_EQ(exitWithin(saver, 0ms), -1) << "it stays up without input";
        ASSERT_TRUE(test.send());
        EXPECT_EQ(exitWithin(saver, 10s), 0);
        if (kill(saver, SIGKILL) == 0) {
            waitpid(saver, nullptr, 0);
        }
    }
}

}  // namespace
}  // namespace floodmark
