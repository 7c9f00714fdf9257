#pragma once

#include "platform/kit/View.h"
#include "platform/kit/ViewServices.h"

#include <memory>

namespace floodmark {

// The base of a screen saver's view: the host starts and stops it and calls animateOneFrame
// once per animation interval, at whatever interval the view last set.
class ScreenSaverView : public View {
public:
    // It asks `services` of the system; none: the machine's own.
    ScreenSaverView(Size size, bool isPreview, std::shared_ptr<ViewServices> services = nullptr)
        : View(size),
          isPreview_(isPreview),
          services_(services ? std::move(services) : ViewServices::system()) {}

    bool isPreview() const { return isPreview_; }
    double animationTimeInterval() const { return interval_; }
    void setAnimationTimeInterval(double seconds) { interval_ = seconds; }
    bool isAnimating() const { return animating_; }
    // What the view asks of the system: its host's, else the machine's own.
    ViewServices& services() const { return *services_; }
    void setServices(std::shared_ptr<ViewServices> services) {
        if (services) {
            services_ = std::move(services);
        }
    }

    virtual void startAnimation() { animating_ = true; }
    virtual void stopAnimation() { animating_ = false; }
    virtual void animateOneFrame() {}

    virtual bool hasConfigureSheet() const { return false; }
    // A new options window on each request; none by default.
    virtual std::shared_ptr<Window> configureSheet() { return nullptr; }

private:
    bool isPreview_;
    double interval_ = 1.0 / 30;
    bool animating_ = false;
    std::shared_ptr<ViewServices> services_;
};

}  // namespace floodmark
