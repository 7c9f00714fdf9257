#include "platform/wayland/WaylandHost.h"

#include "platform/gl/GpuDevice.h"
#include "platform/gl/GpuView.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace floodmark {

namespace {

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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
      makeView_(std::move(makeView)),
      connection_(std::move(connection)),
      role_(role),
      services_(std::make_shared<WaylandServices>()) {
    ViewServices::install(services_);
    // A hardware GPU draws straight into our surfaces, on this same connection.
    GpuDevice::useWaylandDisplay(connection_->display());
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
        addEntry(nullptr);
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
    while (!entries_.empty()) {
        removeEntry(entries_.size() - 1);
    }
    input_.reset();
}

void WaylandHost::cover(WaylandOutput& output) {
    for (auto& entry : entries_) {
        if (entry->surface->output() == &output) {
            entry->surface->outputChanged();
            return;
        }
    }
    if (!settings_.outputName.empty() && !output.name.empty() &&
        output.name != settings_.outputName) {
        return;
    }
    addEntry(&output);
}

void WaylandHost::uncover(WaylandOutput& output) {
    for (std::size_t index = entries_.size(); index-- > 0;) {
        if (entries_[index]->surface->output() == &output) {
            removeEntry(index);
        }
    }
}

void WaylandHost::addEntry(WaylandOutput* output) {
    auto entry = std::make_unique<Entry>();
    Entry* added = entry.get();
    entry->surface =
        std::make_unique<OutputSurface>(*connection_, role_, output, settings_.windowPoints);
    entry->surface->onResized = [this, added] { surfaceResized(*added); };
    entry->surface->onFrameDone = [this, added] { frameDone(*added); };
    entry->surface->onClosed = [this, added] {
        // An output that went takes its layer with it; a window closed ends the saver.
        if (role_ == OutputSurface::Role::overlay) {
            MainLoop::main().post([this, added] {
                for (std::size_t index = 0; index < entries_.size(); ++index) {
                    if (entries_[index].get() == added) {
                        removeEntry(index);
                        return;
                    }
                }
            });
        } else {
            stop(0);
        }
    };
    entries_.push_back(std::move(entry));
}

void WaylandHost::removeEntry(std::size_t index) {
    Entry& entry = *entries_[index];
    entry.timer.reset();
    if (entry.view && entry.view->isAnimating()) {
        entry.view->stopAnimation();
    }
    if (entry.window) {
        entry.window->setContentView(nullptr);
    }
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    connection_->flush();
}

void WaylandHost::surfaceResized(Entry& entry) {
    Size points = entry.surface->points();
    double scale = entry.surface->scale();
    if (!entry.view) {
        entry.view = makeView_(points, false);
        entry.window = std::make_unique<Window>(points, scale);
        if (GpuDevice::systemDefault()) {
            entry.window->setNativeWindow(
                reinterpret_cast<unsigned long>(entry.surface->gpuWindow()), 0);
        }
        entry.window->setContentView(entry.view);
        if (running_) {
            start(entry);
        }
        return;
    }
    entry.window->setBackingScale(scale);
    entry.window->setSize(points);
}

void WaylandHost::start(Entry& entry) {
    entry.view->startAnimation();
    entry.nextTick = steadySeconds();
    scheduleTick(entry);
}

void WaylandHost::stopViews() {
    for (auto& entry : entries_) {
        entry->timer.reset();
        if (entry->view && entry->view->isAnimating()) {
            entry->view->stopAnimation();
        }
    }
}

void WaylandHost::scheduleTick(Entry& entry) {
    Entry* target = &entry;
    entry.timer =
        MainLoop::main().after(entry.nextTick - steadySeconds(), [this, target] { tick(*target); });
}

void WaylandHost::tick(Entry& entry) {
    double now = steadySeconds();
    if (entry.surface->frameWait(now) > hiddenAfter) {
        // No one sees the surface: no ticks until the compositor asks for a frame again.
        entry.hidden = true;
        entry.timer.reset();
        return;
    }
    if (dynamic_cast<GpuView*>(entry.window->selfPresentingView()) &&
        entry.surface->framePending()) {
        // The GPU draws in the tick: no tick until the compositor took the last picture.
        entry.nextTick = now + entry.view->animationTimeInterval();
        scheduleTick(entry);
        return;
    }
    entry.surface->prepareGpuFrame();
    entry.view->animateOneFrame();
    ++entry.stats.ticks;
    // Keep the view's beat, but never owe it ticks after a stall.
    entry.nextTick = std::max(entry.nextTick + entry.view->animationTimeInterval(), now);
    scheduleTick(entry);
    if (auto* gpu = dynamic_cast<GpuView*>(entry.window->selfPresentingView())) {
        // The GPU swapped in the tick if the water moved; the chrome may still have changed.
        gpu->presentAgain(false);
        noteGpuSwaps(entry, now);
    } else if (entry.window->contentView() && entry.window->compose()) {
        // A picture still waiting is replaced: its damage is owed by the next one handed over.
        entry.waitingDamage = entry.waitingDamage.united(entry.window->damage());
        entry.pictureWaiting = true;
        entry.composedAt = now;
    }
    presentWaiting(entry);
    connection_->flush();
    entry.stats.tickSeconds += steadySeconds() - now;
}

void WaylandHost::presentWaiting(Entry& entry) {
    // Never more than one picture queued: a later one waits for the frame callback.
    long long copiedBefore = entry.surface->bytesCopied();
    if (entry.pictureWaiting && entry.window->picture() &&
        entry.surface->present(*entry.window->picture(), entry.waitingDamage, steadySeconds())) {
        entry.pictureWaiting = false;
        entry.waitingDamage = {};
        entry.stats.bytesPut += entry.surface->bytesCopied() - copiedBefore;
        ++entry.stats.pictures;
        entry.stats.tickToScreenSeconds += steadySeconds() - entry.composedAt;
    }
}

void WaylandHost::noteGpuSwaps(Entry& entry, double tickStart) {
    auto* gpu = dynamic_cast<GpuView*>(entry.window->selfPresentingView());
    if (gpu == nullptr || gpu->swaps() == entry.gpuSwaps) {
        return;
    }
    entry.stats.pictures += gpu->swaps() - entry.gpuSwaps;
    entry.stats.tickToScreenSeconds += steadySeconds() - tickStart;
    entry.gpuSwaps = gpu->swaps();
    entry.surface->gpuPresented(steadySeconds());
}

void WaylandHost::frameDone(Entry& entry) {
    if (!entry.view) {
        return;
    }
    presentWaiting(entry);
    if (entry.hidden && running_) {
        entry.hidden = false;
        entry.nextTick = steadySeconds();
        scheduleTick(entry);
    }
}

int WaylandHost::run() {
    exitStatus_.reset();
    MainLoop& loop = MainLoop::main();
    loop.onTerminationSignals([this] { stop(0); });
    compositorWatch_ = loop.watchReadable(connection_->descriptor(), [this] { readCompositor(); });
    running_ = true;
    startedAt_ = steadySeconds();
    for (auto& entry : entries_) {
        if (entry->view) {
            start(*entry);
        }
    }
    connection_->flush();
    if (!exitStatus_) {
        loop.run();
    }
    running_ = false;
    compositorWatch_.reset();
    stopViews();
    connection_->flush();
    return exitStatus_.value_or(0);
}

void WaylandHost::stop(int status) {
    if (!exitStatus_) {
        exitStatus_ = status;
    }
    MainLoop::main().stop();
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
    } else if (key == KEY_F11 && !entries_.empty()) {
        entries_.front()->surface->toggleFullScreen();
        connection_->flush();
    }
}

void WaylandHost::pointerMoved(void* surface, double x, double y) {
    if (!isSaver(role_)) {
        return;
    }
    bool settling = !running_ || steadySeconds() - startedAt_ < inputGrace;
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
