#include "platform/x11/X11Host.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cmath>

namespace floodmark {

namespace {

// A cursor with no visible pixel, for the full-screen windows.
Cursor makeBlankCursor(Display* display, ::Window window) {
    char empty = 0;
    Pixmap bitmap = XCreateBitmapFromData(display, window, &empty, 1, 1);
    XColor black{};
    Cursor cursor = XCreatePixmapCursor(display, bitmap, bitmap, &black, &black, 0, 0);
    XFreePixmap(display, bitmap);
    return cursor;
}

constexpr long windowEvents = ExposureMask | StructureNotifyMask;

}  // namespace

std::unique_ptr<X11Host> X11Host::open(Settings settings, ViewFactory makeView,
                                       std::string& error) {
    auto connection = XConnection::open(settings.display);
    if (!connection) {
        const char* named =
            settings.display.empty() ? std::getenv("DISPLAY") : settings.display.c_str();
        error = std::string("cannot open the X display '") + (named ? named : "") + "'";
        return nullptr;
    }
    return std::unique_ptr<X11Host>(
        new X11Host(std::move(settings), std::move(makeView), std::move(connection)));
}

X11Host::X11Host(Settings settings, ViewFactory makeView, std::unique_ptr<XConnection> connection)
    : settings_(std::move(settings)),
      connection_(std::move(connection)),
      services_(std::make_shared<X11Services>(*connection_, settings_.monitorsPowered)),
      ticker_(*clock_, std::move(makeView), services_) {
    scale_ = settings_.scale.value_or(
        X11Services::scaleFromResources(connection_->display()).value_or(1));
    int errorBase = 0;
    if (!XRRQueryExtension(connection_->display(), &randrEventBase_, &errorBase)) {
        randrEventBase_ = -1;
    }
    // What a tick's round trips read from the server is handled before the next tick.
    ticker_.onTicked = [this] { processEvents(); };
    // If the server goes away, the views still let the socket go and keep what they learned.
    XConnection::onConnectionLost([this] { ticker_.stopViews(); });
}

X11Host::~X11Host() {
    XConnection::onConnectionLost(nullptr);
    serverWatch_.reset();
    while (!surfaces_.empty()) {
        removeSurface(surfaces_.size() - 1);
    }
    if (blankCursor_ != 0) {
        XFreeCursor(connection_->display(), blankCursor_);
    }
}

Size X11Host::pointsOf(int width, int height) const {
    return {std::max(width, 1) / scale_, std::max(height, 1) / scale_};
}

bool X11Host::sharesMemory(std::size_t index) const {
    return surfaces_[index]->presenter.sharesMemory();
}

const X11Host::Surface& X11Host::surfaceAt(std::size_t index) const {
    return *surfaces_[index];
}

X11Host::Surface& X11Host::addSurface(::Window xWindow, bool foreign, bool preview) {
    Display* display = connection_->display();
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, xWindow, &attributes);
    Size points = pointsOf(attributes.width, attributes.height);

    surfaces_.push_back(std::make_unique<Surface>(*this, xWindow, foreign));
    Surface& added = *surfaces_.back();
    auto window = std::make_unique<Window>(points, scale_);
    window->setRedrawsOnlyChanges(settings_.onlyChanges);
    window->setNativeWindow(
        {.xWindow = xWindow,
         .xVisual = attributes.visual != nullptr ? XVisualIDFromVisual(attributes.visual) : 0});
    ticker_.add(added, std::move(window), preview);
    return added;
}

void X11Host::removeSurface(std::size_t index) {
    Surface& surface = *surfaces_[index];
    ticker_.remove(surface);
    if (!surface.foreign) {
        XDestroyWindow(connection_->display(), surface.xWindow);
    }
    surfaces_.erase(surfaces_.begin() + static_cast<std::ptrdiff_t>(index));
}

X11Host::Surface* X11Host::surfaceOf(::Window xWindow) {
    for (auto& surface : surfaces_) {
        if (surface->xWindow == xWindow) {
            return surface.get();
        }
    }
    return nullptr;
}

bool X11Host::attach(unsigned long window, bool preview, std::string& error) {
    Display* display = connection_->display();
    XWindowAttributes attributes{};
    bool exists = connection_->succeeds([&] {
        if (XGetWindowAttributes(display, window, &attributes) != 0) {
            XSelectInput(display, window, windowEvents);
        }
    });
    connection_->takeFailedResources();
    if (!exists) {
        char text[64];
        std::snprintf(text, sizeof text, "there is no window 0x%lx on the display", window);
        error = text;
        return false;
    }
    addSurface(window, true, preview);
    return true;
}

void X11Host::attachRoot() {
    XSelectInput(connection_->display(), connection_->root(), windowEvents);
    addSurface(connection_->root(), true, false);
}

::Window X11Host::createWindow(const MonitorArea& area, bool overrideRedirect) {
    Display* display = connection_->display();
    XSetWindowAttributes attributes{};
    // No background: the server would clear the window before each of our pictures.
    attributes.background_pixmap = None;
    attributes.override_redirect = overrideRedirect ? True : False;
    attributes.event_mask = windowEvents | KeyPressMask;
    ::Window window = XCreateWindow(
        display, connection_->root(), area.x, area.y, static_cast<unsigned>(area.width),
        static_cast<unsigned>(area.height), 0, CopyFromParent, InputOutput, CopyFromParent,
        CWBackPixmap | CWOverrideRedirect | CWEventMask, &attributes);
    const char* title = "Floodmark";
    XStoreName(display, window, title);
    Atom utf8 = connection_->atom("UTF8_STRING");
    XChangeProperty(display, window, connection_->atom("_NET_WM_NAME"), utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title), 9);
    XClassHint hint{const_cast<char*>("floodmark"), const_cast<char*>("Floodmark")};
    XSetClassHint(display, window, &hint);
    return window;
}

void X11Host::openOwnWindow(Size points) {
    ownWindow_ = true;
    Display* display = connection_->display();
    const auto [width, height] = points.pixelsAt(scale_);
    ::Window window = createWindow({0, 0, width, height}, false);
    Atom deleteWindow = connection_->atom("WM_DELETE_WINDOW");
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XMapWindow(display, window);
    addSurface(window, false, false);
}

void X11Host::coverMonitors() {
    coveringMonitors_ = true;
    if (randrEventBase_ >= 0) {
        XRRSelectInput(
            connection_->display(), connection_->root(),
            RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    }
    followMonitors();
}

void X11Host::followMonitors() {
    if (!coveringMonitors_) {
        return;
    }
    Display* display = connection_->display();
    auto monitors = settings_.monitors(display, connection_->screen());
    for (std::size_t index = surfaces_.size(); index-- > 0;) {
        const auto& monitor = surfaces_[index]->monitor;
        if (monitor && std::find(monitors.begin(), monitors.end(), *monitor) == monitors.end()) {
            removeSurface(index);
        }
    }
    for (const auto& area : monitors) {
        bool covered = std::any_of(surfaces_.begin(), surfaces_.end(),
                                   [&](const auto& surface) { return surface->monitor == area; });
        if (covered) {
            continue;
        }
        ::Window window = createWindow(area, true);
        if (blankCursor_ == 0) {
            blankCursor_ = makeBlankCursor(display, window);
        }
        XDefineCursor(display, window, blankCursor_);
        XMapRaised(display, window);
        addSurface(window, false, false).monitor = area;
    }
    // The keys come to us however the pointer moves; no window manager gives focus here.
    if (!surfaces_.empty()) {
        XSync(display, False);
        XGrabKeyboard(display, surfaces_.front()->xWindow, True, GrabModeAsync, GrabModeAsync,
                      CurrentTime);
    }
}

void X11Host::toggleFullScreen(::Window xWindow) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = xWindow;
    event.xclient.message_type = connection_->atom("_NET_WM_STATE");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // toggle
    event.xclient.data.l[1] = static_cast<long>(connection_->atom("_NET_WM_STATE_FULLSCREEN"));
    event.xclient.data.l[3] = 1;  // from an application
    XSendEvent(connection_->display(), connection_->root(), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(connection_->display());
}

int X11Host::run() {
    int descriptor = connection_->descriptor();
    serverWatch_ = descriptor >= 0
                       ? MainLoop::main().watchReadable(descriptor, [this] { processEvents(); })
                       : nullptr;
    int status = ticker_.runViews([this] { processEvents(); });
    serverWatch_.reset();
    XSync(connection_->display(), False);
    return status;
}

void X11Host::processEvents() {
    Display* display = connection_->display();
    while (XPending(display) > 0) {
        XEvent event{};
        XNextEvent(display, &event);
        handle(event);
    }
    // A window another program gave us that is gone ends the host, as its owner meant.
    for (XID failed : connection_->takeFailedResources()) {
        if (Surface* surface = surfaceOf(failed); surface && surface->foreign) {
            stop(0);
        }
    }
}

void X11Host::handle(XEvent& event) {
    if (randrEventBase_ >= 0 && event.type == randrEventBase_ + RRScreenChangeNotify) {
        XRRUpdateConfiguration(&event);
        followMonitors();
        return;
    }
    switch (event.type) {
        case Expose:
            if (Surface* surface = surfaceOf(event.xexpose.window);
                surface && event.xexpose.count == 0) {
                surface->repaint(*ticker_.find(*surface));
            }
            break;
        case ConfigureNotify:
            if (Surface* surface = surfaceOf(event.xconfigure.window)) {
                ticker_.find(*surface)->window->setSize(
                    pointsOf(event.xconfigure.width, event.xconfigure.height));
            }
            break;
        case DestroyNotify:
            if (Surface* surface = surfaceOf(event.xdestroywindow.window);
                surface && surface->foreign) {
                stop(0);
            }
            break;
        case KeyPress:
            handleKey(event.xkey);
            break;
        case ClientMessage:
            if (ownWindow_ && static_cast<Atom>(event.xclient.data.l[0]) ==
                                  connection_->atom("WM_DELETE_WINDOW")) {
                stop(0);
            }
            break;
        default:
            break;
    }
}

void X11Host::handleKey(XKeyEvent& event) {
    KeySym key = XLookupKeysym(&event, 0);
    if (key == XK_Escape || (ownWindow_ && (key == XK_q || key == XK_Q))) {
        stop(0);
    } else if (ownWindow_ && key == XK_F11) {
        toggleFullScreen(event.window);
    }
}

}  // namespace floodmark
