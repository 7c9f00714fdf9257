#include "FloodmarkSaver/view/FloodmarkSaverView.h"
#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/GpuChoice.h"
#include "app/HostChoice.h"
#include "app/OptionValues.h"
#include "platform/gl/GpuDevice.h"
#include "platform/wayland/WaylandHost.h"
#include "platform/x11/X11Host.h"

#include <charconv>
#include <csignal>
#include <cstdlib>
#include <iostream>

namespace floodmark::app {

namespace {

// Where the saver draws, as the screen-saver hosts say it or the user asks.
struct SaverOptions {
    std::optional<unsigned long> windowId;  // --window-id: a preview in that window
    bool root = false;
    bool fullscreen = false;
    bool window = false;
    bool x11 = false;
    bool wayland = false;
    bool noInputExit = false;
    Size geometry{1280, 720};
    std::optional<double> scale;
    GpuPolicy gpu = GpuPolicy::automatic;
};

// A window id as the hosts write it: hexadecimal after "0x", else decimal.
std::optional<unsigned long> parseWindowId(std::string_view text) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    std::string digits(text);
    char* end = nullptr;
    errno = 0;
    unsigned long value = digits.empty() || !std::isxdigit(static_cast<unsigned char>(digits[0]))
                              ? 0
                              : std::strtoul(digits.c_str(), &end, base);
    // X resource ids have 29 bits.
    if (value == 0 || errno != 0 || end != digits.c_str() + digits.size() || value >= (1UL << 29)) {
        return std::nullopt;
    }
    return value;
}

// A side of a window: a decimal whole number 1…16384, written without leading zeros.
std::optional<int> parseSide(std::string_view text) {
    int value = 0;
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text[0] == '0' || status != std::errc() ||
        end != text.data() + text.size() || value < 1 || value > 16384) {
        return std::nullopt;
    }
    return value;
}

std::optional<Size> parseGeometry(std::string_view text) {
    auto split = text.find('x');
    if (split == std::string_view::npos) {
        return std::nullopt;
    }
    auto width = parseSide(text.substr(0, split));
    auto height = parseSide(text.substr(split + 1));
    if (!width || !height) {
        return std::nullopt;
    }
    return Size{static_cast<double>(*width), static_cast<double>(*height)};
}

// Absent when the command should go on; otherwise its exit status.
std::optional<int> parseSaverOptions(std::span<char* const> words, SaverOptions& options) {
    using namespace OptionValues;
    CLI::App parser(
        "Draws the water. On Wayland (WAYLAND_DISPLAY, or WAYLAND_SOCKET under swaylock-plugin) "
        "it covers every output until a key, a click or a moved pointer; on the X display of "
        "DISPLAY it draws into the window a screen-saver host names (XSCREENSAVER_WINDOW), else "
        "as the options say, else in a window of its own.",
        "floodmark");
    addOption(parser, "--window-id", "Draw into that window as a preview (hex 0x... or decimal)",
              [&](const std::string& text) {
                  options.windowId = parseWindowId(text);
                  if (!options.windowId) {
                      reject("--window-id wants a window id, as 0x1c00007 or 29360135, not '" +
                             text + "'");
                  }
              });
    parser.add_flag("--root", options.root, "Draw into the root window");
    parser.add_flag("--fullscreen", options.fullscreen,
                    "X11: one borderless window on every monitor (on Wayland, the default)");
    parser.add_flag("--window", options.window,
                    "One resizable window of its own (F11: full screen)");
    auto* x11 = parser.add_flag("--x11", options.x11, "Draw on X11 even where Wayland is there");
    auto* wayland = parser.add_flag("--wayland", options.wayland, "Draw on Wayland");
    x11->excludes(wayland);
    parser.add_flag("--no-input-exit", options.noInputExit,
                    "Wayland: keep running on keys, clicks and pointer moves");
    addOption(parser, "--geometry", "The size of its own window, WxH (default 1280x720)",
              [&](const std::string& text) {
                  auto size = parseGeometry(text);
                  if (!size) {
                      reject("--geometry wants WxH, as 1280x720, not '" + text + "'");
                  }
                  options.geometry = *size;
              });
    addOption(parser, "--scale", "X11: pixels per point instead of Xft.dpi's (up to 8)",
              [&](const std::string& text) {
                  options.scale = positiveNumber("--scale", text);
                  if (*options.scale > X11Services::maxScale) {
                      reject("--scale wants a scale up to 8");
                  }
              });
    addGpuChoice(parser, options.gpu);
    // The hosts write the X toolkit's single-dash forms; both are heard.
    std::vector<std::string> spelled;
    for (std::string_view word : words) {
        spelled.emplace_back(word == "-root" || word == "-window-id" ? "-" + std::string(word)
                                                                     : std::string(word));
    }
    std::vector<char*> pointers;
    for (auto& word : spelled) {
        pointers.push_back(word.data());
    }
    return parseCommandLine(parser, pointers);
}

// Puts the views where the options and the hosts' environment say, in the order the hosts
// rely on. False, with the reason, when the window named does not exist.
bool placeViews(X11Host& host, const SaverOptions& options, std::string& error) {
    if (options.windowId) {
        return host.attach(*options.windowId, true, error);
    }
    if (const char* variable = std::getenv("XSCREENSAVER_WINDOW"); variable && *variable) {
        auto window = parseWindowId(variable);
        if (!window) {
            error = std::string("XSCREENSAVER_WINDOW is not a window id: '") + variable + "'";
            return false;
        }
        return host.attach(*window, false, error);
    }
    if (options.root) {
        host.attachRoot();
    } else if (options.fullscreen) {
        host.coverMonitors();
    } else {
        host.openOwnWindow(options.geometry);
    }
    return true;
}

int runOnWayland(const SaverOptions& options) {
    const char* outputName = std::getenv("SWAYLOCK_PLUGIN_OUTPUT_NAME");
    std::string error;
    auto host = WaylandHost::open(
        {.window = options.window,
         .windowPoints = options.geometry,
         .inputEnds = !options.noInputExit,
         .outputName = outputName != nullptr ? std::string(outputName).substr(0, 256) : ""},
        FloodmarkSaverView::make, error);
    if (!host) {
        std::cerr << "floodmark: " << error << "\n";
        return 2;
    }
    return host->run();
}

int runOnX11(const SaverOptions& options) {
    std::string error;
    auto host = X11Host::open({.scale = options.scale}, FloodmarkSaverView::make, error);
    if (!host) {
        std::cerr << "floodmark: " << error << "\n";
        return 2;
    }
    if (!placeViews(*host, options, error)) {
        std::cerr << "floodmark: " << error << "\n";
        return 2;
    }
    return host->run();
}

// One row a display the saver draws on: adding a host is an adapter and a row here.
struct HostRow {
    HostKind kind;
    int (*run)(const SaverOptions& options);
};

constexpr HostRow hosts[] = {
    {HostKind::x11, runOnX11},
    {HostKind::wayland, runOnWayland},
};

}  // namespace

int saverCommand(std::span<char* const> words) {
    SaverOptions options;
    if (auto exit = parseSaverOptions(words, options)) {
        return *exit;
    }
    // xsecurelock may send it; the saver keeps drawing.
    std::signal(SIGUSR1, SIG_IGN);
    GpuDevice::setPolicy(options.gpu);

    const char* hostWindow = std::getenv("XSCREENSAVER_WINDOW");
    std::string error;
    auto host = chooseHost({.forceX11 = options.x11,
                            .forceWayland = options.wayland,
                            .hackProtocol = options.windowId || options.root ||
                                            (hostWindow != nullptr && *hostWindow != '\0')},
                           error);
    if (!host) {
        std::cerr << "floodmark: " << error << "\n";
        return 2;
    }
    for (const HostRow& row : hosts) {
        if (row.kind == *host) {
            return row.run(options);
        }
    }
    return 2;
}

}  // namespace floodmark::app
