#include "platform/wayland/WaylandHost.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <cmath>

namespace floodmark {

namespace {

bool isSaver(OutputSurface::Role role) {
    return role != OutputSurface::Role::window;
}

}  // namespace

std::unique_ptr<WaylandHost> WaylandHost::open(Settings settings, ViewFactory makeView,
                                               std::string& error) {
    auto connection = WaylandConnection::connect(error);
    if (!connection) {
        return nullptr;
    }
    OutputSurface::Role role = OutputSurface::Role::window;
    if (settings.window) {
        if (connection->windowManager() == nullptr) {
            error = "the Wayland compositor offers no xdg_wm_base: no window can be opened";
            return nullptr;
        }
    } else if (connection->layerShell() != nullptr) {
        role = OutputSurface::Role::overlay;
    } else if (connection->windowManager() != nullptr) {
        role = OutputSurface::Role::fullScreen;
    } else {
        error = "the Wayland compositor offers neither zwlr_layer_shell_v1 nor xdg_wm_base";
        return nullptr;
    }
    return std::unique_ptr<WaylandHost>(
        new WaylandHost(std::move(settings), std::move(makeView), std::move(connection), role));
}

WaylandHost::WaylandHost(Settings settings, ViewFactory makeView,
                         std::unique_ptr<WaylandConnection> connection, OutputSurface::Role role)
    : settings_(std::move(settings)),
      connection_(std::move(connection)),
      role_(role),
      services_(std::make_shared<WaylandServices>(connection_->display())),
      ticker_(*clock_, std::move(makeView), services_) {
    // swaylock-plugin's nested server has no seat: nothing but a signal ends the saver there.
    if (connection_->seat() != nullptr) {
        input_ = std::make_unique<WaylandInput>(connection_->seat(), isSaver(role_));
        input_->onKey = [this](std::uint32_t key) { keyPressed(key); };
        input_->onButton = [this] { userActed(); };
        input_->onPointerMoved = [this](wl_surface* surface, double x, double y) {
            pointerMoved(surface, x, y);
        };
        connection_->onSeatCapabilities = [this](std::uint32_t capabilities) {
            input_->capabilities(capabilities);
        };
        input_->capabilities(connection_->seatCapabilities());
    }
    if (role_ == OutputSurface::Role::window) {
        addSurface(nullptr);
    } else {
        connection_->onOutputReady = [this](WaylandOutput& output) { cover(output); };
        connection_->onOutputGone = [this](WaylandOutput& output) { uncover(output); };
        for (const auto& output : connection_->outputs()) {
            if (output->announced) {
                cover(*output);
            }
        }
    }
    connection_->flush();
}

WaylandHost::~WaylandHost() {
    compositorWatch_.reset();
    connection_->onOutputReady = nullptr;
    connection_->onOutputGone = nullptr;
    connection_->onSeatCapabilities = nullptr;
    while (!surfaces_.empty()) {
        removeSurface(surfaces_.size() - 1);
    }
    input_.reset();
}

void WaylandHost::cover(WaylandOutput& output) {
    for (auto& surface : surfaces_) {
        if (surface->output.output() == &output) {
            surface->output.outputChanged();
            return;
        }
    }
    if (!settings_.outputName.empty() && !output.name.empty() &&
        output.name != settings_.outputName) {
        return;
    }
    addSurface(&output);
}

void WaylandHost::uncover(WaylandOutput& output) {
    for (std::size_t index = surfaces_.size(); index-- > 0;) {
        if (surfaces_[index]->output.output() == &output) {
            removeSurface(index);
        }
    }
}

WaylandHost::Surface::Surface(WaylandHost& host, WaylandOutput* output)
    : host(host), output(*host.connection_, host.role_, output, host.settings_.windowPoints) {}

void WaylandHost::addSurface(WaylandOutput* output) {
    surfaces_.push_back(std::make_unique<Surface>(*this, output));
    Surface* added = surfaces_.back().get();
    added->output.onResized = [this, added] { surfaceResized(*added); };
    added->output.onFrameDone = [this, added] { frameDone(*added); };
    added->output.onClosed = [this, added] {
        // An output that went takes its layer with it; a window closed ends the saver.
        if (role_ == OutputSurface::Role::overlay) {
            MainLoop::main().post([this, added] {
                for (std::size_t index = 0; index < surfaces_.size(); ++index) {
                    if (surfaces_[index].get() == added) {
                        removeSurface(index);
                        return;
                    }
                }
            });
        } else {
            stop(0);
        }
    };
}

void WaylandHost::removeSurface(std::size_t index) {
    ticker_.remove(*surfaces_[index]);
    surfaces_.erase(surfaces_.begin() + static_cast<std::ptrdiff_t>(index));
    connection_->flush();
}

void WaylandHost::surfaceResized(Surface& surface) {
    Size points = surface.output.points();
    double scale = surface.output.scale();
    if (TickedView* ticked = ticker_.find(surface)) {
        ticked->window->setBackingScale(scale);
        ticked->window->setSize(points);
        return;
    }
    auto window = std::make_unique<Window>(points, scale);
    // A hardware GPU draws straight into our surfaces, on this same connection.
    if (services_->gpu().device()) {
        window->setNativeWindow({.waylandWindow = surface.output.gpuWindow()});
    }
    ticker_.add(surface, std::move(window), false);
}

double WaylandHost::Surface::drawDelay(double now) {
    if (output.frameWait(now) > hiddenAfter) {
        // No one sees the surface: no ticks until the compositor asks for a frame again.
        return untilWoken;
    }
    TickedView* ticked = host.ticker_.find(*this);
    if (ticked->window->selfPresentingView() && output.framePending()) {
        // The GPU draws in the tick: no tick until the compositor took the last picture.
        return ticked->view->animationTimeInterval();
    }
    return 0;
}

void WaylandHost::Surface::present(TickedView& ticked, double tickStart) {
    Window& window = *ticked.window;
    if (View* gpu = window.selfPresentingView()) {
        // The GPU swapped in the tick if the water moved; the chrome may still have changed.
        gpu->presentAgain(false);
        noteGpuSwaps(ticked, tickStart);
    } else if (window.contentView() && !pictureWaiting &&
               window.contentView()->treeNeedsDisplay()) {
        // Drawn once the compositor has a buffer for it; what later ticks mark adds up.
        pictureWaiting = true;
        composedAt = tickStart;
    }
    presentWaiting(ticked);
    host.connection_->flush();
}

void WaylandHost::Surface::presentWaiting(TickedView& ticked) {
    // Never more than one picture queued: a later one waits for the frame callback.
    Window& window = *ticked.window;
    double now = host.ticker_.now();
    PixelRect damage;
    auto paint = [&](CairoCanvas& picture, PixelRect owed) {
        window.composeInto(picture, owed);
        return window.damage();
    };
    if (pictureWaiting && window.contentView() && !window.selfPresentingView() &&
        output.present(window.size(), window.backingScale(), paint, damage, now)) {
        pictureWaiting = false;
        ticked.stats.bytesPut += static_cast<long long>(damage.width) * damage.height * 4;
        ++ticked.stats.pictures;
        ticked.stats.tickToScreenSeconds += host.ticker_.now() - composedAt;
    }
}

void WaylandHost::Surface::noteGpuSwaps(TickedView& ticked, double tickStart) {
    View* gpu = ticked.window->selfPresentingView();
    if (gpu == nullptr || gpu->presentations() == gpuSwaps) {
        return;
    }
    ticked.stats.pictures += gpu->presentations() - gpuSwaps;
    ticked.stats.tickToScreenSeconds += host.ticker_.now() - tickStart;
    gpuSwaps = gpu->presentations();
    output.gpuPresented(host.ticker_.now());
}

void WaylandHost::frameDone(Surface& surface) {
    if (TickedView* ticked = ticker_.find(surface)) {
        surface.presentWaiting(*ticked);
        ticker_.wake(surface);
    }
}

int WaylandHost::run() {
    compositorWatch_ =
        MainLoop::main().watchReadable(connection_->descriptor(), [this] { readCompositor(); });
    startedAt_ = ticker_.now();
    // The keys the desktop keeps from every window (Super opens GNOME's overview) end a saver
    // too, once the moments of its start (the key that started it) are over.
    std::unique_ptr<MainLoop::Timer> watchDesktop;
    if (isSaver(role_) && settings_.inputEnds) {
        watchDesktop = MainLoop::main().after(inputGrace, [this] {
            desktopActivity_ = GnomeUserActivity::watch([this] { userActed(); });
        });
    }
    int status = ticker_.runViews([this] { connection_->flush(); });
    desktopActivity_.reset();
    compositorWatch_.reset();
    connection_->flush();
    return status;
}

void WaylandHost::readCompositor() {
    // The compositor gone (logged out, crashed) ends the saver as a host's window gone would.
    if (!connection_->dispatch()) {
        stop(0);
    }
}

void WaylandHost::keyPressed(std::uint32_t key) {
    if (isSaver(role_)) {
        userActed();
    } else if (key == KEY_ESC || key == KEY_Q) {
        stop(0);
    } else if (key == KEY_F11 && !surfaces_.empty()) {
        surfaces_.front()->output.toggleFullScreen();
        connection_->flush();
    }
}

void WaylandHost::pointerMoved(void* surface, double x, double y) {
    if (!isSaver(role_)) {
        return;
    }
    bool settling = !ticker_.viewsRun() || ticker_.now() - startedAt_ < inputGrace;
    if (settling || !pointerAnchor_ || pointerAnchor_->surface != surface) {
        pointerAnchor_ = PointerAnchor{surface, x, y};
        return;
    }
    if (std::hypot(x - pointerAnchor_->x, y - pointerAnchor_->y) > pointerSlack) {
        userActed();
    }
}

void WaylandHost::userActed() {
    services_->inputSeen();
    if (isSaver(role_) && settings_.inputEnds) {
        stop(0);
    }
}

}  // namespace floodmark
