// mate-screensaver, as a MATE session runs it, lists Floodmark's installed desktop entry as a
// theme, runs the hack and shows the water.
#include <gtest/gtest.h>

#include "support/TempDirectory.h"
#include "support/XServer.h"

#include <cairo.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace floodmark {
namespace {

int run(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string contentOf(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(MateScreensaver, ShowsTheWaterFromTheInstalledEntry) {
    if (run("command -v mate-screensaver >/dev/null && unshare --mount true 2>/dev/null") != 0) {
        GTEST_SKIP() << "needs mate-screensaver and a mount namespace of its own (root)";
    }
    fixtures::TempDirectory scratch;
    ASSERT_EQ(run("DESTDIR=" + scratch.file("root") +
                  " cmake --install " FLOODMARK_BUILD_DIR " --prefix /usr >/dev/null"),
              0);
    fixtures::XServer server("640x400x24");
    ASSERT_TRUE(server.running());

    int status =
        run("unshare --mount " FLOODMARK_TEST_SOURCE_DIR "/x11/mate-screensaver-session.sh " +
            server.name() + " " + scratch.file("root") + " " + scratch.path());
    std::string log = contentOf(scratch.file("mate.log"));
    ASSERT_EQ(status, 0) << log;
    EXPECT_EQ(log.find("Could not find information for theme"), std::string::npos) << log;
    EXPECT_NE(log.find("Setting command for job: '/usr/libexec/xscreensaver/floodmark --root'"),
              std::string::npos)
        << log;

    // The water's dark canvas and the clock's light glyphs, where mate alone leaves black.
    cairo_surface_t* screen =
        cairo_image_surface_create_from_png(scratch.file("screen.png").c_str());
    ASSERT_EQ(cairo_surface_status(screen), CAIRO_STATUS_SUCCESS);
    const unsigned char* data = cairo_image_surface_get_data(screen);
    const int stride = cairo_image_surface_get_stride(screen);
    int darkest = 255 * 3;
    int brightest = 0;
    for (int row = 0; row < cairo_image_surface_get_height(screen); row += 4) {
        for (int column = 0; column < cairo_image_surface_get_width(screen); column += 4) {
            std::uint32_t pixel;
            std::memcpy(&pixel, data + row * stride + column * 4, 4);
            int sum =
                static_cast<int>(((pixel >> 16) & 0xff) + ((pixel >> 8) & 0xff) + (pixel & 0xff));
            darkest = std::min(darkest, sum);
            brightest = std::max(brightest, sum);
        }
    }
    cairo_surface_destroy(screen);
    EXPECT_GT(darkest, 15);
    EXPECT_GT(brightest, 300);
}

}  // namespace
}  // namespace floodmark
