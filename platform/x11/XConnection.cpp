#include "platform/x11/XConnection.h"

#include <cstdlib>
#include <utility>

namespace floodmark {

namespace {

struct ErrorLog {
    std::vector<XID> failedResources;
    unsigned long errors = 0;
};

ErrorLog errorLog;
std::function<void()> connectionLostHandler;

int collectError(Display*, XErrorEvent* event) {
    ++errorLog.errors;
    if (event->error_code == BadWindow || event->error_code == BadDrawable) {
        errorLog.failedResources.push_back(event->resourceid);
    }
    return 0;
}

int connectionLost(Display*) {
    if (connectionLostHandler) {
        connectionLostHandler();
    }
    std::exit(1);
}

}  // namespace

std::unique_ptr<XConnection> XConnection::open(const std::string& name) {
    XSetErrorHandler(collectError);
    XSetIOErrorHandler(connectionLost);
    Display* display = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (display == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<XConnection>(new XConnection(display));
}

XConnection::XConnection(Display* display) : display_(display) {}

XConnection::~XConnection() {
    XCloseDisplay(display_);
}

std::vector<XID> XConnection::takeFailedResources() {
    return std::exchange(errorLog.failedResources, {});
}

bool XConnection::succeeds(const std::function<void()>& requests) {
    XSync(display_, False);
    unsigned long before = errorLog.errors;
    requests();
    XSync(display_, False);
    return errorLog.errors == before;
}

void XConnection::onConnectionLost(std::function<void()> handler) {
    connectionLostHandler = std::move(handler);
}

}  // namespace floodmark
