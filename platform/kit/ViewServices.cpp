#include "platform/kit/ViewServices.h"

#include "platform/kit/Time.h"
#include "platform/system/SessionLock.h"

#include <limits>

namespace floodmark {

namespace {

// The machine itself, for hosts that know nothing better: no input is seen (the saver runs
// because the user is away), motion is not reduced, and logind tells whether the screen is
// locked.
class SystemServices final : public ViewServices {
public:
    double now() override { return currentTime(); }
    double secondsSinceLastInput() override { return std::numeric_limits<double>::infinity(); }
    bool reduceMotion() override { return false; }
    bool readScreenLocked() override { return readSessionLocked(); }
};

std::shared_ptr<ViewServices>& installed() {
    static std::shared_ptr<ViewServices> services = std::make_shared<SystemServices>();
    return services;
}

}  // namespace

ViewServices& ViewServices::current() {
    return *installed();
}

void ViewServices::install(std::shared_ptr<ViewServices> services) {
    if (services) {
        installed() = std::move(services);
    }
}

}  // namespace floodmark
