#include "platform/x11/XIdleTime.h"

namespace floodmark {

XIdleTime::XIdleTime(Display* display, ::Window root) : display_(display), root_(root) {
    int eventBase = 0;
    int errorBase = 0;
    if (XScreenSaverQueryExtension(display, &eventBase, &errorBase)) {
        info_ = XScreenSaverAllocInfo();
    }
}

XIdleTime::~XIdleTime() {
    if (info_ != nullptr) {
        XFree(info_);
    }
}

std::optional<double> XIdleTime::seconds() {
    if (info_ == nullptr || XScreenSaverQueryInfo(display_, root_, info_) == 0) {
        return std::nullopt;
    }
    return static_cast<double>(info_->idle) / 1000;
}

}  // namespace floodmark
