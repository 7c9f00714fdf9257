#include "FloodmarkSaver/view/ChromeGate.h"
#include "FloodmarkSaver/view/DetachGate.h"
#include "FloodmarkSaver/view/ReattachWatch.h"
#include "FloodmarkSaver/view/SessionLockCache.h"

#include <gtest/gtest.h>

namespace floodmark {
namespace {

TEST(ChromeGate, SettlesOnlyAfterThreeSecondsAway) {
    ChromeGate gate;
    EXPECT_TRUE(gate.step(3.0, true));
    EXPECT_FALSE(gate.settled);
    EXPECT_TRUE(gate.step(1.0, true));  // not settled: a locked screen does not hide it yet
    EXPECT_TRUE(gate.step(3.01, false));
    EXPECT_TRUE(gate.settled);
}

TEST(ChromeGate, YieldsWhenTheUserReturnsToALockedScreen) {
    ChromeGate gate;
    gate.step(10, true);
    EXPECT_TRUE(gate.step(2.0, true));
    EXPECT_TRUE(gate.step(0.5, false));  // unlocked input keeps it visible
    EXPECT_FALSE(gate.step(1.99, true));
    EXPECT_FALSE(gate.step(10, true));  // stays hidden until reset
    gate.reset();
    EXPECT_TRUE(gate.step(10, true));
}

TEST(ChromeGate, LockedFromTheStartWithInputNeverYields) {
    ChromeGate gate;
    for (int tick = 0; tick < 100; ++tick) {
        EXPECT_TRUE(gate.step(0.1 * (tick % 15), true));
    }
    EXPECT_FALSE(gate.yielded);
}

TEST(SessionLockCache, ReadsAtMostOnceASecond) {
    int reads = 0;
    bool locked = false;
    auto read = [&] {
        ++reads;
        return locked;
    };
    SessionLockCache cache;
    EXPECT_FALSE(cache.locked(100, read));
    locked = true;
    EXPECT_FALSE(cache.locked(100.5, read));
    EXPECT_EQ(reads, 1);
    EXPECT_TRUE(cache.locked(101.0, read));
    EXPECT_EQ(reads, 2);
    EXPECT_TRUE(cache.locked(50, read));  // the clock went back: read again
    EXPECT_EQ(reads, 3);
}

TEST(DetachGate, RetiresOnceAndResumes) {
    using Action = DetachGate::Action;
    DetachGate gate;
    EXPECT_EQ(gate.observe(false), Action::none);  // never had a window
    EXPECT_EQ(gate.observe(true), Action::none);
    EXPECT_EQ(gate.observe(true), Action::none);
    EXPECT_EQ(gate.observe(false), Action::retire);
    EXPECT_EQ(gate.observe(false), Action::none);
    EXPECT_EQ(gate.observe(true), Action::resume);
    EXPECT_TRUE(gate.everAttached);
    EXPECT_FALSE(gate.retired);

    EXPECT_EQ(gate.observe(false), Action::retire);
    gate.hostTookOver();
    EXPECT_EQ(gate.observe(true), Action::none);  // the host's word won
}

TEST(ReattachWatch, PollsUntilTheCheckSaysStop) {
    MainLoop& loop = MainLoop::main();
    ReattachWatch watch;
    int checks = 0;
    watch.begin(0.001, [&] { return ++checks < 3; });
    EXPECT_TRUE(watch.isWatching());
    for (int spins = 0; spins < 10000 && watch.isWatching(); ++spins) {
        loop.runFor(0.002);
    }
    EXPECT_FALSE(watch.isWatching());
    EXPECT_EQ(checks, 3);

    watch.begin(0.001, [&] { return true; });
    watch.cancel();
    EXPECT_FALSE(watch.isWatching());
    loop.runFor(0.01);
    EXPECT_EQ(checks, 3);
}

TEST(ReattachWatch, ACheckThatCancelsItsOwnWatchIsSafe) {
    MainLoop& loop = MainLoop::main();
    ReattachWatch watch;
    int checks = 0;
    watch.begin(0.001, [&] {
        ++checks;
        watch.cancel();
        return false;
    });
    for (int spins = 0; spins < 10000 && checks == 0; ++spins) {
        loop.runFor(0.002);
    }
    EXPECT_EQ(checks, 1);
    EXPECT_FALSE(watch.isWatching());
}

}  // namespace
}  // namespace floodmark
