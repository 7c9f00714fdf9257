#pragma once

#include <memory>

namespace floodmark {

// What a saver view asks of the system. Each host installs its own before it makes views.
class ViewServices {
public:
    virtual ~ViewServices() = default;

    // The wall clock, seconds since 1970 UTC.
    virtual double now() = 0;
    virtual double secondsSinceLastInput() = 0;
    virtual bool reduceMotion() = 0;
    // Reads whether the session's screen is locked; callers cache it.
    virtual bool readScreenLocked() = 0;

    static ViewServices& current();
    static void install(std::shared_ptr<ViewServices> services);
};

}  // namespace floodmark
