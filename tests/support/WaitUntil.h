#pragma once

#include <chrono>
#include <thread>

namespace floodmark::fixtures {

// Polls `condition` until it holds or `limit` passes; the result is its last value. Generous
// limits keep slow, shared machines from failing a test that would pass.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace floodmark::fixtures
