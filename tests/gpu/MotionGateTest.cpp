#include "FloodmarkSaver/frame/DrawMiss.h"
#include "FloodmarkSaver/gpu/FloodmarkMotionGate.h"
#include "FloodmarkSaver/gpu/GpuWatch.h"

#include <gtest/gtest.h>

namespace floodmark {
namespace {

const Size view{1000, 1000};

TEST(GpuWatch, FallsBackOnceAfterTwoSecondsOfMisses) {
    GpuWatch watch;
    EXPECT_FALSE(watch.record(false, 0));
    EXPECT_FALSE(watch.record(false, 1));
    EXPECT_FALSE(watch.record(false, 1.99));
    EXPECT_TRUE(watch.record(false, 2.0));
    EXPECT_FALSE(watch.record(false, 3));
    EXPECT_FALSE(watch.record(true, 4));
    EXPECT_TRUE(watch.fellBack);
    watch.reset();
    EXPECT_FALSE(watch.fellBack);
}

TEST(GpuWatch, APresentedDrawOrAClockSetBackRestartsTheRun) {
    GpuWatch watch;
    watch.record(false, 0);
    watch.record(true, 1);
    EXPECT_FALSE(watch.record(false, 5));
    EXPECT_FALSE(watch.record(false, 6.9));
    EXPECT_TRUE(watch.record(false, 7));

    GpuWatch back;
    back.record(false, 10);
    EXPECT_FALSE(back.record(false, 9));
    EXPECT_EQ(back.missingSince, 9);
    EXPECT_TRUE(back.record(false, 11));
}

TEST(DrawMiss, RawValues) {
    EXPECT_EQ(DrawMiss::fromRawValue("noSize"), DrawMiss::noSize);
    EXPECT_EQ(DrawMiss::fromRawValue("noSIZE"), std::nullopt);
    EXPECT_EQ(DrawMiss::fromRawValue("NoSize"), std::nullopt);
    EXPECT_EQ(DrawMiss(DrawMiss::encodeFailed).rawValue(), "encodeFailed");
}

FloodmarkFrame resting(double time) {
    FloodmarkFrame frame = FloodmarkFrame::resting();
    frame.time = time;
    return frame;
}

TEST(MotionGate, ARestingSceneIsDrawnWhenTheWaveCanHaveMovedHalfAPixel) {
    FloodmarkMotionGate gate;
    EXPECT_TRUE(gate.needsDraw(resting(0), view, 2));
    gate.didDraw(resting(0), view, 2);
    EXPECT_FALSE(gate.needsDraw(resting(0), view, 2));
    // Amplitude 8 pixels, about 4.03 pixels a second: half a pixel takes about 0.124 s.
    EXPECT_FALSE(gate.needsDraw(resting(0.12), view, 2));
    EXPECT_TRUE(gate.needsDraw(resting(0.125), view, 2));
}

TEST(MotionGate, ReduceMotionIgnoresTime) {
    FloodmarkMotionGate gate;
    FloodmarkFrame frame = resting(0);
    frame.reduceMotion = true;
    gate.didDraw(frame, view, 2);
    frame.time = 1000;
    EXPECT_FALSE(gate.needsDraw(frame, view, 2));
    frame.y += 0.0003;  // 0.552 pixel
    EXPECT_TRUE(gate.needsDraw(frame, view, 2));
}

TEST(MotionGate, ChangesThatAlwaysPass) {
    FloodmarkMotionGate gate;
    FloodmarkFrame frame = resting(0);
    frame.reduceMotion = true;
    gate.didDraw(frame, view, 2);

    FloodmarkFrame tinted = frame;
    tinted.severity = 2;
    EXPECT_TRUE(gate.needsDraw(tinted, view, 2));
    EXPECT_TRUE(gate.needsDraw(frame, {1000, 999}, 2));
    EXPECT_TRUE(gate.needsDraw(frame, view, 1));
    FloodmarkFrame still = frame;
    still.style = SaverStyle::still;
    EXPECT_TRUE(gate.needsDraw(still, view, 2));

    FloodmarkFrame nudged = frame;
    nudged.y += 0.0001;  // 0.184 pixel
    EXPECT_FALSE(gate.needsDraw(nudged, view, 2));
    FloodmarkFrame lit = frame;
    lit.x = 0.0003;  // 0.6 pixel of the lit run
    EXPECT_TRUE(gate.needsDraw(lit, view, 2));
}

TEST(MotionGate, MarksAreDrawnAndClearedOnce) {
    FloodmarkMotionGate gate;
    FloodmarkFrame frame = resting(0);
    frame.reduceMotion = true;
    frame.ripples = {{0.5, 0.5}};
    gate.didDraw(frame, view, 2);
    EXPECT_TRUE(gate.needsDraw(frame, view, 2));
    FloodmarkFrame cleared = frame;
    cleared.ripples.clear();
    EXPECT_TRUE(gate.needsDraw(cleared, view, 2));
    gate.didDraw(cleared, view, 2);
    EXPECT_FALSE(gate.needsDraw(cleared, view, 2));
    gate.invalidate();
    EXPECT_TRUE(gate.needsDraw(cleared, view, 2));
}

}  // namespace
}  // namespace floodmark
