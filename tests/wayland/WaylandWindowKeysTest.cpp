#include <gtest/gtest.h>

#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/WaylandCompositor.h"

#include <linux/input-event-codes.h>
#include <sys/wait.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <functional>

namespace floodmark {
namespace {

using fixtures::RunningFloodmark;
using fixtures::TempDirectory;
using fixtures::waitUntil;
using fixtures::WaylandCompositor;

// The node of sway's tree that holds the saver's own window, or an empty object.
nlohmann::json floodmarkNode(const WaylandCompositor& sway) {
    nlohmann::json found = nlohmann::json::object();
    std::function<void(const nlohmann::json&)> visit = [&](const nlohmann::json& node) {
        if (!node.is_object()) {
            return;
        }
        if (node.value("app_id", nlohmann::json()) == "floodmark") {
            found = node;
        }
        for (const char* children : {"nodes", "floating_nodes"}) {
            for (const auto& child : node.value(children, nlohmann::json::array())) {
                visit(child);
            }
        }
    };
    visit(nlohmann::json::parse(sway.swayReply("-t get_tree"), nullptr, false));
    return found;
}

// A seat with a virtual keyboard, whose keys are typed by their evdev codes.
class Keyboard {
public:
    explicit Keyboard(const WaylandCompositor& sway) {
        pid_ = sway.spawn({FLOODMARK_VIRTUAL_INPUT, place_.file("input-ready")});
        ready_ = waitUntil([&] { return fixtures::fileExists(place_.file("input-ready")); });
    }
    ~Keyboard() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    bool ready() const { return ready_; }
    void type(int key) const {
        sigval code{};
        code.sival_int = key;
        ASSERT_EQ(sigqueue(pid_, SIGUSR1, code), 0);
    }

private:
    TempDirectory place_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

// The own window, focused by sway, with the canvas on it.
void awaitFocusedWindow(const WaylandCompositor& sway, const TempDirectory& home) {
    ASSERT_TRUE(waitUntil([&] { return floodmarkNode(sway).value("focused", false); }));
    ASSERT_TRUE(waitUntil([&] { return sway.showsCanvas("HEADLESS-1", home.file("shot.png")); }));
}

TEST(WaylandWindow, EscapeOrQEndTheOwnWindowAndOtherKeysDoNot) {
    WaylandCompositor sway(WaylandCompositor::Kind::sway, {"640x360"});
    ASSERT_TRUE(sway.running());
    Keyboard keyboard(sway);
    ASSERT_TRUE(keyboard.ready());
    for (int key : {KEY_ESC, KEY_Q}) {
        SCOPED_TRACE(key);
        TempDirectory home;
        RunningFloodmark saver({"--window"}, home.path(), sway.environment());
        awaitFocusedWindow(sway, home);
        keyboard.type(KEY_A);
        EXPECT_FALSE(saver.waitForExit(0.5)) << "a key that is not Escape or q ended it";
        keyboard.type(key);
        EXPECT_EQ(saver.waitForExit(60), 0);
    }
}

TEST(WaylandWindow, F11FillsTheOutputAndGivesItBack) {
    WaylandCompositor sway(WaylandCompositor::Kind::sway, {"640x360"});
    ASSERT_TRUE(sway.running());
    Keyboard keyboard(sway);
    ASSERT_TRUE(keyboard.ready());
    TempDirectory home;
    RunningFloodmark saver({"--window"}, home.path(), sway.environment());
    awaitFocusedWindow(sway, home);
    auto fullScreen = [&] { return floodmarkNode(sway).value("fullscreen_mode", 0) == 1; };
    EXPECT_FALSE(fullScreen());
    keyboard.type(KEY_F11);
    EXPECT_TRUE(waitUntil(fullScreen));
    keyboard.type(KEY_F11);
    EXPECT_TRUE(waitUntil([&] { return !fullScreen(); }));
    keyboard.type(KEY_ESC);
    EXPECT_EQ(saver.waitForExit(60), 0);
}

}  // namespace
}  // namespace floodmark
