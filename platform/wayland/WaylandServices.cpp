#include "platform/wayland/WaylandServices.h"

#include "platform/kit/Time.h"
#include "platform/system/SessionLock.h"

#include <algorithm>
#include <limits>

namespace floodmark {

WaylandServices::WaylandServices(void* display)
    : reduceMotion_(ReduceMotion::systemReaders()), gpu_(GpuDisplay::onWayland(display)) {}

double WaylandServices::now() {
    return currentTime();
}

double WaylandServices::secondsSinceLastInput() {
    if (!lastInputAt_) {
        return std::numeric_limits<double>::infinity();
    }
    return std::max(currentTime() - *lastInputAt_, 0.0);
}

bool WaylandServices::reduceMotion() {
    return reduceMotion_.value(currentTime());
}

bool WaylandServices::readScreenLocked() {
    return readSessionLocked();
}

void WaylandServices::inputSeen() {
    lastInputAt_ = currentTime();
}

}  // namespace floodmark
