#pragma once

#include <string>
#include <utility>

namespace floodmark::fixtures {

// What a display test reads back from the files a compositor and a client leave: screenshots
// and libwayland's protocol log.

// libwayland's log of a client's protocol (WAYLAND_DEBUG=client) in the file at `path`, each
// object written "interface@id" as libwayland wrote it before 1.23 (which writes
// "interface#id").
std::string protocolLog(const std::string& path);

// RGB of one pixel of a PNG file; all −1 when it cannot be read.
struct PngPixel {
    int red = -1;
    int green = -1;
    int blue = -1;
};
PngPixel pngPixel(const std::string& path, int x, int y);
// Width and height of a PNG file; 0 when it cannot be read.
std::pair<int, int> pngSize(const std::string& path);

}  // namespace floodmark::fixtures
