#include "platform/x11/X11Host.h"

#include "platform/gl/GpuDevice.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace floodmark {

namespace {

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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
      makeView_(std::move(makeView)),
      connection_(std::move(connection)),
      services_(std::make_shared<X11Services>(*connection_)) {
    ViewServices::install(services_);
    // The GPU draws straight into our windows, on this same connection.
    GpuDevice::useX11Display(connection_->display());
    scale_ = settings_.scale.value_or(
        X11Services::scaleFromResources(connection_->display()).value_or(1));
    int errorBase = 0;
    if (!XRRQueryExtension(connection_->display(), &randrEventBase_, &errorBase)) {
        randrEventBase_ = -1;
    }
    // If the server goes away, the views still let the socket go and keep what they learned.
    XConnection::onConnectionLost([this] { stopViews(); });
}

void X11Host::stopViews() {
    for (auto& entry : entries_) {
        entry->timer.reset();
        if (entry->view->isAnimating()) {
            entry->view->stopAnimation();
        }
    }
}

X11Host::~X11Host() {
    XConnection::onConnectionLost(nullptr);
    serverWatch_.reset();
    while (!entries_.empty()) {
        removeEntry(entries_.size() - 1);
    }
    if (blankCursor_ != 0) {
        XFreeCursor(connection_->display(), blankCursor_);
    }
}

Size X11Host::pointsOf(int width, int height) const {
    return {std::max(width, 1) / scale_, std::max(height, 1) / scale_};
}

bool X11Host::sharesMemory(std::size_t index) const {
    return entries_[index]->presenter->sharesMemory();
}

X11Host::Entry& X11Host::addEntry(::Window xWindow, bool foreign, bool preview) {
    Display* display = connection_->display();
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, xWindow, &attributes);
    Size points = pointsOf(attributes.width, attributes.height);

    auto entry = std::make_unique<Entry>();
    entry->xWindow = xWindow;
    entry->foreign = foreign;
    entry->view = makeView_(points, preview);
    entry->window = std::make_unique<Window>(points, scale_);
    entry->window->setRedrawsOnlyChanges(settings_.onlyChanges);
    entry->window->setNativeWindow(
        xWindow, attributes.visual != nullptr ? XVisualIDFromVisual(attributes.visual) : 0);
    entry->window->setContentView(entry->view);
    entry->presenter =
        std::make_unique<PicturePresenter>(*connection_, xWindow, settings_.sharedMemory);
    entries_.push_back(std::move(entry));
    Entry& added = *entries_.back();
    if (running_) {
        start(added);
    }
    return added;
}

void X11Host::removeEntry(std::size_t index) {
    Entry& entry = *entries_[index];
    entry.timer.reset();
    if (entry.view->isAnimating()) {
        entry.view->stopAnimation();
    }
    entry.window->setContentView(nullptr);
    if (!entry.foreign) {
        XDestroyWindow(connection_->display(), entry.xWindow);
    }
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
}

X11Host::Entry* X11Host::entryOf(::Window xWindow) {
    for (auto& entry : entries_) {
        if (entry->xWindow == xWindow) {
            return entry.get();
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
    addEntry(window, true, preview);
    return true;
}

void X11Host::attachRoot() {
    XSelectInput(connection_->display(), connection_->root(), windowEvents);
    addEntry(connection_->root(), true, false);
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
    int width = static_cast<int>(std::lround(points.width * scale_));
    int height = static_cast<int>(std::lround(points.height * scale_));
    ::Window window = createWindow({0, 0, std::max(width, 1), std::max(height, 1)}, false);
    Atom deleteWindow = connection_->atom("WM_DELETE_WINDOW");
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XMapWindow(display, window);
    addEntry(window, false, false);
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
    for (std::size_t index = entries_.size(); index-- > 0;) {
        const auto& monitor = entries_[index]->monitor;
        if (monitor && std::find(monitors.begin(), monitors.end(), *monitor) == monitors.end()) {
            removeEntry(index);
        }
    }
    for (const auto& area : monitors) {
        bool covered = std::any_of(entries_.begin(), entries_.end(),
                                   [&](const auto& entry) { return entry->monitor == area; });
        if (covered) {
            continue;
        }
        ::Window window = createWindow(area, true);
        if (blankCursor_ == 0) {
            blankCursor_ = makeBlankCursor(display, window);
        }
        XDefineCursor(display, window, blankCursor_);
        XMapRaised(display, window);
        addEntry(window, false, false).monitor = area;
    }
    // The keys come to us however the pointer moves; no window manager gives focus here.
    if (!entries_.empty()) {
        XSync(display, False);
        XGrabKeyboard(display, entries_.front()->xWindow, True, GrabModeAsync, GrabModeAsync,
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

void X11Host::start(Entry& entry) {
    entry.view->startAnimation();
    entry.nextTick = steadySeconds();
    scheduleTick(entry);
}

void X11Host::scheduleTick(Entry& entry) {
    Entry* target = &entry;
    entry.timer =
        MainLoop::main().after(entry.nextTick - steadySeconds(), [this, target] { tick(*target); });
}

void X11Host::tick(Entry& entry) {
    double now = steadySeconds();
    if (!services_->monitorsPowered()) {
        // Nothing to see: no tick, no picture, until the monitors are on again.
        entry.nextTick = now + X11Services::powerPollInterval;
        scheduleTick(entry);
        return;
    }
    entry.view->animateOneFrame();
    ++entry.stats.ticks;
    // Keep the view's beat, but never owe it ticks after a stall.
    entry.nextTick = std::max(entry.nextTick + entry.view->animationTimeInterval(), now);
    scheduleTick(entry);
    if (View* gpu = entry.window->selfPresentingView()) {
        // The GPU presented in the tick if the water moved; the chrome may still have changed.
        gpu->presentAgain(false);
    } else if (entry.window->contentView() && entry.window->compose()) {
        PixelRect damage = entry.window->damage();
        entry.presenter->present(*entry.window->picture(), damage);
        ++entry.stats.pictures;
        entry.stats.bytesPut += static_cast<long long>(damage.width) * damage.height * 4;
        entry.stats.tickToScreenSeconds += steadySeconds() - now;
    }
    entry.stats.tickSeconds += steadySeconds() - now;
    processEvents();
}

int X11Host::run() {
    exitStatus_.reset();
    MainLoop& loop = MainLoop::main();
    loop.onTerminationSignals([this] { stop(0); });
    serverWatch_ = connection_->descriptor() >= 0
                       ? loop.watchReadable(connection_->descriptor(), [this] { processEvents(); })
                       : nullptr;
    running_ = true;
    for (auto& entry : entries_) {
        start(*entry);
    }
    processEvents();
    if (!exitStatus_) {
        loop.run();
    }
    running_ = false;
    serverWatch_.reset();
    stopViews();
    XSync(connection_->display(), False);
    return exitStatus_.value_or(0);
}

void X11Host::stop(int status) {
    if (!exitStatus_) {
        exitStatus_ = status;
    }
    MainLoop::main().stop();
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
        if (Entry* entry = entryOf(failed); entry && entry->foreign) {
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
            if (Entry* entry = entryOf(event.xexpose.window); entry && event.xexpose.count == 0) {
                if (View* gpu = entry->window->selfPresentingView()) {
                    gpu->presentAgain(true);
                    ++entry->stats.repaints;
                } else if (entry->window->picture()) {
                    entry->presenter->present(*entry->window->picture());
                    ++entry->stats.repaints;
                }
            }
            break;
        case ConfigureNotify:
            if (Entry* entry = entryOf(event.xconfigure.window)) {
                entry->window->setSize(pointsOf(event.xconfigure.width, event.xconfigure.height));
            }
            break;
        case DestroyNotify:
            if (Entry* entry = entryOf(event.xdestroywindow.window); entry && entry->foreign) {
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
