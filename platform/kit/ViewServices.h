#pragma once

#include <memory>

namespace floodmark {

class GpuDisplay;

// What a saver view asks of the system. Each host hands its own to the views it makes.
class ViewServices {
public:
    virtual ~ViewServices() = default;

    // The wall clock, seconds since 1970 UTC.
    virtual double now() = 0;
    virtual double secondsSinceLastInput() = 0;
    virtual bool reduceMotion() = 0;
    // Reads whether the session's screen is locked; callers cache it.
    virtual bool readScreenLocked() = 0;
    // The GPU the views draw with: the host's display's, so that they draw straight into its
    // windows; by default the process's offscreen one.
    virtual GpuDisplay& gpu();

    // The machine itself, for views no host has: no input seen, motion not reduced, logind's
    // lock.
    static std::shared_ptr<ViewServices> system();
};

}  // namespace floodmark
