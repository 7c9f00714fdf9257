#include "FloodmarkSaver/view/ChromeGate.h"

namespace floodmark {

bool ChromeGate::step(double idle, bool locked) {
    if (idle > settleSeconds) {
        settled = true;
    }
    if (idle < returnSeconds && locked && settled) {
        yielded = true;
        return false;
    }
    return !yielded;
}

}  // namespace floodmark
