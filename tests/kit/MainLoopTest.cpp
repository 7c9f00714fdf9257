#include "platform/kit/MainLoop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace floodmark {
namespace {

TEST(MainLoop, RunsPostedWorkInOrderFromAnyThread) {
    MainLoop loop;
    std::vector<int> order;
    std::thread other([&] {
        for (int i = 0; i < 100; ++i) {
            loop.post([&order, i] { order.push_back(i); });
        }
    });
    other.join();
    loop.post([&] { loop.post([&] { order.push_back(100); }); });
    loop.runUntilIdle();
    ASSERT_EQ(order.size(), 101u);
    for (int i = 0; i <= 100; ++i) {
        EXPECT_EQ(order[i], i);
    }
}

TEST(MainLoop, RepeatingTimersTickUntilCancelled) {
    MainLoop loop;
    int ticks = 0;
    auto timer = loop.every(0.001, [&] {
        if (++ticks == 5) {
            loop.stop();
        }
    });
    loop.runFor(30);
    EXPECT_EQ(ticks, 5);
    timer.reset();
    loop.runFor(0.02);
    EXPECT_EQ(ticks, 5);
}

}  // namespace
}  // namespace floodmark
