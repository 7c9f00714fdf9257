#include <gtest/gtest.h>

#include "support/PictureDifference.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/WaylandCompositor.h"
#include "wayland/CompanionWater.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace floodmark {
namespace {

using fixtures::TempDirectory;
using fixtures::WaylandCompositor;

struct Damage {
    int x, y, width, height;
};

// The saver's wl_surface.damage_buffer requests, in order, as libwayland's own protocol log
// shows them, over `seconds` of a run that the compositor's environment gives.
std::vector<Damage> damageOverRun(const WaylandCompositor& compositor, const TempDirectory& home,
                                  int seconds) {
    std::string command = "timeout -s TERM " + std::to_string(seconds) + " env -u DISPLAY";
    for (const auto& variable : compositor.environment()) {
        command += " '" + variable + "'";
    }
    command += " HOME='" + home.path() + "' XDG_STATE_HOME= WAYLAND_DEBUG=client " +
               FLOODMARK_BINARY +
               " 2>&1 >/dev/null | grep -o 'damage_buffer([-0-9, ]*)\\|attach(wl_buffer[@#][0-9]*'";
    std::vector<Damage> damages;
    for (const auto& line : fixtures::runCommand(command).lines) {
        Damage damage{};
        if (std::sscanf(line.c_str(), "damage_buffer(%d, %d, %d, %d)", &damage.x, &damage.y,
                        &damage.width, &damage.height) == 4) {
            damages.push_back(damage);
        }
    }
    return damages;
}

// Seconds from now until the minute after next begins when that is less than `atLeast` away,
// else until the next: when the clock the saver shows will change.
double secondsToMinuteChange(double atLeast) {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    double seconds = std::chrono::duration<double>(now).count();
    double left = 60 - std::fmod(seconds, 60);
    return left < atLeast ? left + 60 : left;
}

// The clock's text as the saver shows it now, in the test's own time zone.
std::string clockNow() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%-I:%M %p", &local);
    return text;
}

// Pictures after the first are put on the screen as the band that changed: after a ripple
// and a change of the clock's minute, the screen shows the resting water and the new minute
// in every pixel above the band.
TEST(WaylandDamage, PutsOnlyTheChangedBandAndLeavesNoStalePixels) {
    WaylandCompositor weston(WaylandCompositor::Kind::weston, {"640x360"});
    ASSERT_TRUE(weston.running());
    TempDirectory home;
    fixtures::writeCompanionState(home);
    auto start = std::chrono::steady_clock::now();
    double change = secondsToMinuteChange(4);
    std::vector<Damage> damages;
    std::thread saver([&] { damages = damageOverRun(weston, home, static_cast<int>(change) + 6); });

    std::string shot = home.file("shot.png");
    EXPECT_TRUE(
        fixtures::waitUntil([&] { return fixtures::showsWater(weston, "", shot, 640, 360); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    fixtures::writeCompanionState(home, "compaction");
    // The ripple lives 1.4 s; the minute changes after it. The companion keeps its reading
    // fresh meanwhile.
    auto shotAt = start + std::chrono::milliseconds(static_cast<int>(change * 1000) + 2500);
    while (std::chrono::steady_clock::now() < shotAt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        fixtures::writeCompanionState(home);
    }
    std::string snapshot = fixtures::snapshotOfCompanionWater(
        home, "640x360", 1, "--clock '" + clockNow() + "' --chrome-alpha 1");
    // Shots a picture apart: each of the saver's buffers in turn is on the screen.
    for (int shotIndex = 0; shotIndex < 4; ++shotIndex) {
        ASSERT_TRUE(weston.screenshot("", shot));
        fixtures::expectSameWater(shot, snapshot);
        // Above the resting band, the clock and the canvas are the snapshot's in every pixel.
        auto aboveBand = fixtures::differenceOfPngs(shot, snapshot, 6, 40, 140);
        EXPECT_LT(aboveBand.mean, 0.5);
        EXPECT_EQ(aboveBand.farShare, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    saver.join();

    ASSERT_GT(damages.size(), 10u);
    // The first picture is new everywhere.
    EXPECT_EQ(damages.front().x, 0);
    EXPECT_EQ(damages.front().y, 0);
    EXPECT_EQ(damages.front().width, 640);
    EXPECT_EQ(damages.front().height, 360);
    int bands = 0;
    for (std::size_t index = 1; index < damages.size(); ++index) {
        const Damage& damage = damages[index];
        EXPECT_GE(damage.x, 0);
        EXPECT_GE(damage.y, 0);
        EXPECT_LE(damage.x + damage.width, 640);
        EXPECT_LE(damage.y + damage.height, 360);
        bands += damage.height <= 60 ? 1 : 0;
    }
    // At rest only the band around the surface changes (26 rows here), a picture or more each
    // second of the run.
    EXPECT_GE(bands, 10);
}

}  // namespace
}  // namespace floodmark
