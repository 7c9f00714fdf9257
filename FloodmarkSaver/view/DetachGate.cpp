#include "FloodmarkSaver/view/DetachGate.h"

namespace floodmark {

DetachGate::Action DetachGate::observe(bool attached) {
    if (attached) {
        everAttached = true;
        if (retired) {
            retired = false;
            return Action::resume;
        }
        return Action::none;
    }
    // A view that never had a window is not retired for lacking one.
    if (everAttached && !retired) {
        retired = true;
        return Action::retire;
    }
    return Action::none;
}

}  // namespace floodmark
