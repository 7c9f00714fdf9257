#pragma once

#include <memory>
#include <string>

typedef struct _GtkWidget GtkWidget;
typedef struct _GtkWindow GtkWindow;

namespace floodmark {

// The options sheet's window and its three actions. The window holds a reference to its
// controller, so that its buttons work for as long as it is open.
class FloodmarkOptionsController : public std::enable_shared_from_this<FloodmarkOptionsController> {
public:
    static std::shared_ptr<FloodmarkOptionsController> make();
    ~FloodmarkOptionsController();
    FloodmarkOptionsController(const FloodmarkOptionsController&) = delete;
    FloodmarkOptionsController& operator=(const FloodmarkOptionsController&) = delete;

    GtkWindow* window() const { return window_; }
    GtkWidget* status() const { return status_; }

    // "Open Support Page": the default browser, else the link copied.
    void openPage();
    // "Copy Link".
    void copyLink();
    // "Done", and Return.
    void dismiss();

private:
    FloodmarkOptionsController();
    void build();
    void putLinkOnClipboard();
    void say(const std::string& message);

    GtkWindow* window_ = nullptr;
    GtkWidget* status_ = nullptr;
};

}  // namespace floodmark
