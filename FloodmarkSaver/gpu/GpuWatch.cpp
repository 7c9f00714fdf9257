#include "FloodmarkSaver/gpu/GpuWatch.h"

namespace floodmark {

bool GpuWatch::record(bool presented, double now) {
    if (fellBack) {
        return false;
    }
    if (presented) {
        missingSince.reset();
        return false;
    }
    // A clock set back before the run began starts the run again.
    if (missingSince && now >= *missingSince) {
        if (now - *missingSince >= patience) {
            fellBack = true;
            return true;
        }
        return false;
    }
    missingSince = now;
    return false;
}

}  // namespace floodmark
