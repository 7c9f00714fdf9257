#pragma once

namespace floodmark {

// Whether at least `interval` has passed since `last`. A clock that moved back before `last`
// counts as due too: otherwise setting the clock back an hour would freeze the feed for one.
inline bool isDue(double now, double last, double interval) {
    return now - last >= interval || now < last;
}

}  // namespace floodmark
