#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_registry;
struct wl_seat;
struct wl_shm;
struct wp_fractional_scale_manager_v1;
struct wp_viewporter;
struct xdg_wm_base;
struct zwlr_layer_shell_v1;

namespace floodmark {

// One monitor as the compositor describes it. Only an output that has sent its first `done`
// is announced: its scale and name are known by then.
struct WaylandOutput {
    std::uint32_t globalName = 0;
    wl_output* output = nullptr;
    std::string name;  // empty before wl_output version 4
    int scale = 1;
    int pixelWidth = 0;  // the current mode
    int pixelHeight = 0;
    bool announced = false;
};

// The connection to the compositor and the globals the host uses; any of them may be absent
// (GNOME has no layer-shell, swaylock-plugin's nested server no seat and no xdg_wm_base).
// Main thread only.
class WaylandConnection {
public:
    // Null, with the reason, when there is no compositor to connect to: WAYLAND_SOCKET's
    // descriptor, else the socket WAYLAND_DISPLAY names.
    static std::unique_ptr<WaylandConnection> connect(std::string& error);
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return display_; }
    int descriptor() const;
    wl_compositor* compositor() const { return compositor_; }
    wl_shm* shm() const { return shm_; }
    zwlr_layer_shell_v1* layerShell() const { return layerShell_; }
    xdg_wm_base* windowManager() const { return windowManager_; }
    wp_viewporter* viewporter() const { return viewporter_; }
    wp_fractional_scale_manager_v1* fractionalScale() const { return fractionalScale_; }
    wl_seat* seat() const { return seat_; }
    // The seat's keyboard and pointer, as wl_seat.capabilities last said.
    std::uint32_t seatCapabilities() const { return seatCapabilities_; }

    const std::vector<std::unique_ptr<WaylandOutput>>& outputs() const { return outputs_; }
    WaylandOutput* outputOf(wl_output* output) const;

    // Told when an output is announced, changes its scale or size, or goes (before it is
    // destroyed).
    std::function<void(WaylandOutput&)> onOutputReady;
    std::function<void(WaylandOutput&)> onOutputGone;
    // Told when the seat gains or loses its keyboard or pointer.
    std::function<void(std::uint32_t capabilities)> onSeatCapabilities;

    // Reads and handles what the compositor sent. False once the connection is lost.
    bool dispatch();
    // Sends the requests made since; false once the connection is lost.
    bool flush();

    // Called by the listeners.
    void addGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                   std::uint32_t version);
    void removeGlobal(std::uint32_t name);
    void outputDone(WaylandOutput& output);
    void seatChanged(std::uint32_t capabilities);

private:
    explicit WaylandConnection(wl_display* display);

    wl_display* display_;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    xdg_wm_base* windowManager_ = nullptr;
    wp_viewporter* viewporter_ = nullptr;
    wp_fractional_scale_manager_v1* fractionalScale_ = nullptr;
    wl_seat* seat_ = nullptr;
    std::uint32_t seatName_ = 0;
    std::uint32_t seatCapabilities_ = 0;
    std::vector<std::unique_ptr<WaylandOutput>> outputs_;
};

}  // namespace floodmark
