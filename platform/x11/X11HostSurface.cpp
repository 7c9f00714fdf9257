#include "platform/x11/X11Host.h"

namespace floodmark {

X11Host::Surface::Surface(X11Host& host, ::Window xWindow, bool foreign)
    : host(host),
      xWindow(xWindow),
      foreign(foreign),
      presenter(*host.connection_, xWindow, host.settings_.sharedMemory) {}

double X11Host::Surface::drawDelay(double) {
    // Nothing to see while the monitors are off: no tick, no picture, until they are on.
    return host.services_->monitorsPowered() ? 0 : X11Services::powerPollInterval;
}

void X11Host::Surface::present(TickedView& ticked, double tickStart) {
    Window& window = *ticked.window;
    if (View* gpu = window.selfPresentingView()) {
        // The GPU presented in the tick if the water moved; the chrome may still have changed.
        gpu->presentAgain(false);
    } else if (window.contentView()) {
        // Drawn straight into the shared image where there is one, else copied out.
        PixelRect owed;
        PixelRect damage;
        if (CairoCanvas* shared =
                presenter.sharedPicture(window.size(), window.backingScale(), owed)) {
            damage = window.composeInto(*shared, owed);
            presenter.presentShared(damage);
        } else if (window.compose()) {
            damage = window.damage();
            presenter.present(*window.picture(), damage);
        }
        if (damage.empty()) {
            return;
        }
        ++ticked.stats.pictures;
        ticked.stats.bytesPut += static_cast<long long>(damage.width) * damage.height * 4;
        ticked.stats.tickToScreenSeconds += host.ticker_.now() - tickStart;
    }
}

void X11Host::Surface::repaint(TickedView& ticked) {
    PixelRect owed;
    if (View* gpu = ticked.window->selfPresentingView()) {
        gpu->presentAgain(true);
        ++ticked.stats.repaints;
    } else if (CairoCanvas* shared = presenter.sharedPicture(ticked.window->size(),
                                                             ticked.window->backingScale(), owed);
               shared && owed.empty()) {
        presenter.presentShared(shared->pixelBounds());
        ++ticked.stats.repaints;
    } else if (ticked.window->picture()) {
        presenter.present(*ticked.window->picture());
        ++ticked.stats.repaints;
    }
}

}  // namespace floodmark
