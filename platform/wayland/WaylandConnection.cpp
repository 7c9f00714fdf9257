#include "platform/wayland/WaylandConnection.h"

#include "platform/system/WaylandSocketVariable.h"

#include "fractional-scale-v1-client-protocol.h"
#include "platform/wayland/LayerShellProtocol.h"
#include "viewporter-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace floodmark {

namespace {

template <typename Proxy>
Proxy* bind(wl_registry* registry, std::uint32_t name, const wl_interface& interface,
            std::uint32_t offered, std::uint32_t wanted) {
    return static_cast<Proxy*>(
        wl_registry_bind(registry, name, &interface, std::min(offered, wanted)));
}

// Lets the compositor free its side of an output too; before version 3 it cannot be told.
void releaseOutput(wl_output* output) {
    if (wl_output_get_version(output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
        wl_output_release(output);
    } else {
        wl_output_destroy(output);
    }
}

void onGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    static_cast<WaylandConnection*>(data)->addGlobal(registry, name, interface, version);
}

void onGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
    static_cast<WaylandConnection*>(data)->removeGlobal(name);
}

const wl_registry_listener registryListener{.global = onGlobal, .global_remove = onGlobalRemove};

// Each output's listener data: the connection to tell, and the output.
struct OutputListenerData {
    WaylandConnection* connection;
    WaylandOutput* output;
};

WaylandOutput& outputData(void* data) {
    return *static_cast<OutputListenerData*>(data)->output;
}

void onGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                const char*, int32_t) {}

void onMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
        outputData(data).pixelWidth = std::clamp(width, 0, 65536);
        outputData(data).pixelHeight = std::clamp(height, 0, 65536);
    }
}

void onOutputDone(void* data, wl_output*) {
    auto* pair = static_cast<OutputListenerData*>(data);
    pair->connection->outputDone(*pair->output);
}

void onScale(void* data, wl_output*, int32_t factor) {
    // A compositor's nonsense must not make buffers of absurd sizes.
    outputData(data).scale = std::clamp(factor, 1, 8);
}

void onName(void* data, wl_output*, const char* name) {
    outputData(data).name = name != nullptr ? std::string(name).substr(0, 256) : "";
}

void onDescription(void*, wl_output*, const char*) {}

const wl_output_listener outputListener{.geometry = onGeometry,
                                        .mode = onMode,
                                        .done = onOutputDone,
                                        .scale = onScale,
                                        .name = onName,
                                        .description = onDescription};

void pong(void*, xdg_wm_base* base, std::uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener windowManagerListener{.ping = pong};

const wl_seat_listener seatListener{
    .capabilities =
        [](void* data, wl_seat*, uint32_t capabilities) {
            static_cast<WaylandConnection*>(data)->seatChanged(capabilities);
        },
    .name = [](void*, wl_seat*, const char*) {},
};

}  // namespace

std::unique_ptr<WaylandConnection> WaylandConnection::connect(std::string& error) {
    forgetEmptyWaylandSocket();
    const char* socket = std::getenv("WAYLAND_SOCKET");
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        const char* named = std::getenv("WAYLAND_DISPLAY");
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (socket != nullptr) {
            error = std::string("cannot use WAYLAND_SOCKET='") + socket +
                    "': it names no open connection to a compositor";
        } else {
            error = std::string("cannot connect to a Wayland compositor: WAYLAND_DISPLAY='") +
                    (named ? named : "") + "' (XDG_RUNTIME_DIR='" + (runtime ? runtime : "") +
                    "') has no compositor listening";
        }
        return nullptr;
    }
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection(display));
    // Globals, then what the bound outputs and the seat say of themselves.
    if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0) {
        error = "the Wayland compositor closed the connection at once";
        return nullptr;
    }
    if (connection->compositor_ == nullptr || connection->shm_ == nullptr) {
        error = "the Wayland compositor offers no wl_compositor or wl_shm";
        return nullptr;
    }
    return connection;
}

WaylandConnection::WaylandConnection(wl_display* display) : display_(display) {
    registry_ = wl_display_get_registry(display);
    wl_registry_add_listener(registry_, &registryListener, this);
}

WaylandConnection::~WaylandConnection() {
    for (auto& output : outputs_) {
        delete static_cast<OutputListenerData*>(wl_output_get_user_data(output->output));
        releaseOutput(output->output);
    }
    if (seat_ != nullptr) {
        wl_seat_destroy(seat_);
    }
    if (fractionalScale_ != nullptr) {
        wp_fractional_scale_manager_v1_destroy(fractionalScale_);
    }
    if (viewporter_ != nullptr) {
        wp_viewporter_destroy(viewporter_);
    }
    if (windowManager_ != nullptr) {
        xdg_wm_base_destroy(windowManager_);
    }
    if (layerShell_ != nullptr) {
        zwlr_layer_shell_v1_destroy(layerShell_);
    }
    if (shm_ != nullptr) {
        wl_shm_destroy(shm_);
    }
    if (compositor_ != nullptr) {
        wl_compositor_destroy(compositor_);
    }
    wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

int WaylandConnection::descriptor() const {
    return wl_display_get_fd(display_);
}

WaylandOutput* WaylandConnection::outputOf(wl_output* output) const {
    for (const auto& known : outputs_) {
        if (known->output == output) {
            return known.get();
        }
    }
    return nullptr;
}

void WaylandConnection::addGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                                  std::uint32_t version) {
    std::string_view kind = interface;
    if (kind == wl_compositor_interface.name && compositor_ == nullptr) {
        compositor_ = bind<wl_compositor>(registry, name, wl_compositor_interface, version, 4);
    } else if (kind == wl_shm_interface.name && shm_ == nullptr) {
        shm_ = bind<wl_shm>(registry, name, wl_shm_interface, version, 1);
    } else if (kind == zwlr_layer_shell_v1_interface.name && layerShell_ == nullptr) {
        layerShell_ =
            bind<zwlr_layer_shell_v1>(registry, name, zwlr_layer_shell_v1_interface, version, 4);
    } else if (kind == xdg_wm_base_interface.name && windowManager_ == nullptr) {
        windowManager_ = bind<xdg_wm_base>(registry, name, xdg_wm_base_interface, version, 2);
        xdg_wm_base_add_listener(windowManager_, &windowManagerListener, nullptr);
    } else if (kind == wp_viewporter_interface.name && viewporter_ == nullptr) {
        viewporter_ = bind<wp_viewporter>(registry, name, wp_viewporter_interface, version, 1);
    } else if (kind == wp_fractional_scale_manager_v1_interface.name &&
               fractionalScale_ == nullptr) {
        fractionalScale_ = bind<wp_fractional_scale_manager_v1>(
            registry, name, wp_fractional_scale_manager_v1_interface, version, 1);
    } else if (kind == wl_seat_interface.name && seat_ == nullptr) {
        seat_ = bind<wl_seat>(registry, name, wl_seat_interface, version, 5);
        seatName_ = name;
        // Listened to here, at once: the first capabilities come before the host is made.
        wl_seat_add_listener(seat_, &seatListener, this);
    } else if (kind == wl_output_interface.name) {
        auto output = std::make_unique<WaylandOutput>();
        output->globalName = name;
        output->output = bind<wl_output>(registry, name, wl_output_interface, version, 4);
        wl_output_add_listener(output->output, &outputListener,
                               new OutputListenerData{this, output.get()});
        outputs_.push_back(std::move(output));
    }
}

void WaylandConnection::removeGlobal(std::uint32_t name) {
    if (name == seatName_ && seat_ != nullptr) {
        // The input listeners hold their own proxies; the seat stays bound until the end.
        return;
    }
    auto found = std::find_if(outputs_.begin(), outputs_.end(),
                              [name](const auto& output) { return output->globalName == name; });
    if (found == outputs_.end()) {
        return;
    }
    if ((*found)->announced && onOutputGone) {
        onOutputGone(**found);
    }
    delete static_cast<OutputListenerData*>(wl_output_get_user_data((*found)->output));
    releaseOutput((*found)->output);
    outputs_.erase(found);
}

void WaylandConnection::outputDone(WaylandOutput& output) {
    output.announced = true;
    if (onOutputReady) {
        onOutputReady(output);
    }
}

void WaylandConnection::seatChanged(std::uint32_t capabilities) {
    seatCapabilities_ = capabilities;
    if (onSeatCapabilities) {
        onSeatCapabilities(capabilities);
    }
}

bool WaylandConnection::dispatch() {
    if (wl_display_dispatch(display_) < 0) {
        return false;
    }
    return flush();
}

bool WaylandConnection::flush() {
    return wl_display_flush(display_) >= 0 || errno == EAGAIN;
}

}  // namespace floodmark
