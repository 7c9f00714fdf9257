#include <gtest/gtest.h>

#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"
#include "support/WaitUntil.h"
#include "support/WaylandCompositor.h"
#include "wayland/CompanionWater.h"

#include <chrono>
#include <cstdio>
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
               FLOODMARK_BINARY + " 2>&1 >/dev/null | grep -o 'damage_buffer([-0-9, ]*)'";
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

// Pictures after the first are put on the screen as the band that changed, from buffers that
// each hold an older picture: after a ripple has come and gone, the screen is still exactly
// the resting water, with nothing of the ripple left in any buffer.
TEST(WaylandDamage, PutsOnlyTheChangedBandAndLeavesNoStalePixels) {
    WaylandCompositor sway(WaylandCompositor::Kind::sway, {"640x360"});
    ASSERT_TRUE(sway.running());
    TempDirectory home;
    fixtures::writeCompanionState(home);
    std::vector<Damage> damages;
    std::thread saver([&] { damages = damageOverRun(sway, home, 9); });

    std::string shot = home.file("shot.png");
    EXPECT_TRUE(fixtures::waitUntil(
        [&] { return fixtures::showsWater(sway, "HEADLESS-1", shot, 640, 360); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    fixtures::writeCompanionState(home, "compaction");
    // The ripple lives 1.4 s; the pictures after it put back the resting band.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    ASSERT_TRUE(sway.screenshot("HEADLESS-1", shot));
    fixtures::expectSameWater(shot, fixtures::snapshotOfCompanionWater(home, "640x360", 1));
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
        bands += damage.height < 120 ? 1 : 0;
    }
    // At rest only the band around the surface changes: a third of the output at most.
    EXPECT_GT(bands, static_cast<int>(damages.size()) / 2);
}

}  // namespace
}  // namespace floodmark
