#include "FloodmarkSaver/view/ReattachWatch.h"

namespace floodmark {

void ReattachWatch::begin(double seconds, std::function<bool()> check) {
    cancel();
    std::uint64_t mine = ++generation_;
    timer_ = MainLoop::main().every(seconds, [this, mine, check = std::move(check)] {
        // A check that resumed the view has cancelled this watch already; one that began a new
        // watch must keep that one.
        if (!check() && generation_ == mine) {
            timer_.reset();
        }
    });
}

}  // namespace floodmark
