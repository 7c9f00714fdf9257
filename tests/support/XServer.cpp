#include "support/XServer.h"

#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace floodmark::fixtures {

XServer::XServer(const std::string& screen, const std::vector<std::string>& extraArguments) {
    int ends[2];
    if (pipe(ends) != 0) {
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        close(ends[0]);
        std::string descriptor = std::to_string(ends[1]);
        std::vector<std::string> words{"Xvfb", "-displayfd", descriptor,  "-screen",
                                       "0",    screen,       "-nolisten", "tcp"};
        words.insert(words.end(), extraArguments.begin(), extraArguments.end());
        std::vector<char*> argv;
        for (auto& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        int quiet = ::open("/dev/null", O_WRONLY);
        dup2(quiet, STDERR_FILENO);
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    close(ends[1]);
    std::string number;
    pollfd ready{ends[0], POLLIN, 0};
    char character = 0;
    while (poll(&ready, 1, 10000) > 0 && read(ends[0], &character, 1) == 1 && character != '\n') {
        number.push_back(character);
    }
    close(ends[0]);
    if (number.empty()) {
        return;
    }
    name_ = ":" + number;
    display_ = XOpenDisplay(name_.c_str());
}

XServer::~XServer() {
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

::Window XServer::makeWindow(int width, int height) {
    ::Window window =
        XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0,
                            static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0, 0);
    XMapWindow(display_, window);
    XSync(display_, False);
    return window;
}

XServer::Rgb XServer::pixel(::Window window, int x, int y) const {
    XImage* image = XGetImage(display_, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return {};
    }
    unsigned long value = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return {static_cast<int>((value >> 16) & 0xff), static_cast<int>((value >> 8) & 0xff),
            static_cast<int>(value & 0xff)};
}

std::vector<unsigned char> XServer::capture(::Window window, int& width, int& height) const {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, window, &attributes);
    width = attributes.width;
    height = attributes.height;
    XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    std::vector<unsigned char> pixels;
    if (image == nullptr) {
        return pixels;
    }
    pixels.reserve(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned long value = XGetPixel(image, x, y);
            pixels.push_back(static_cast<unsigned char>(value & 0xff));
            pixels.push_back(static_cast<unsigned char>((value >> 8) & 0xff));
            pixels.push_back(static_cast<unsigned char>((value >> 16) & 0xff));
            pixels.push_back(0xff);
        }
    }
    XDestroyImage(image);
    return pixels;
}

}  // namespace floodmark::fixtures
