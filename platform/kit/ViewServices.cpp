#include "platform/kit/ViewServices.h"

#include "platform/gl/GpuDisplay.h"
#include "platform/kit/Time.h"
#include "platform/system/SessionLock.h"

#include <limits>

namespace floodmark {

namespace {

// No input is seen: the saver runs because the user is away.
class SystemServices final : public ViewServices {
public:
    double now() override { return currentTime(); }
    double secondsSinceLastInput() override { return std::numeric_limits<double>::infinity(); }
    bool reduceMotion() override { return false; }
    bool readScreenLocked() override { return readSessionLocked(); }
};

}  // namespace

GpuDisplay& ViewServices::gpu() {
    return GpuDisplay::offscreen();
}

std::shared_ptr<ViewServices> ViewServices::system() {
    return std::make_shared<SystemServices>();
}

}  // namespace floodmark
