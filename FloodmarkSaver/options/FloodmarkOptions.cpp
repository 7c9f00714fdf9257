#include "FloodmarkSaver/options/FloodmarkOptions.h"

#include "FloodmarkSaver/options/FloodmarkOptionsController.h"

namespace floodmark::FloodmarkOptions {

namespace {

std::shared_ptr<FloodmarkOptionsController>& current() {
    static std::shared_ptr<FloodmarkOptionsController> controller;
    return controller;
}

}  // namespace

std::string version() {
    std::string_view project = FLOODMARK_VERSION;
    return project.empty() ? "\u2014" : std::string(project);
}

std::string openingMessage() {
    std::string_view address = supportURL;
    address.remove_prefix(address.find("://") + 3);
    if (address.starts_with("www.")) {
        address.remove_prefix(4);
    }
    return "Opening " + std::string(address) + "\u2026";
}

GtkWindow* makeWindow() {
    current() = FloodmarkOptionsController::make();
    return current()->window();
}

std::shared_ptr<FloodmarkOptionsController> currentController() {
    return current();
}

}  // namespace floodmark::FloodmarkOptions
