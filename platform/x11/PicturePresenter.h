#pragma once

#include "platform/draw/CairoCanvas.h"
#include "platform/x11/XConnection.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <memory>
#include <optional>

namespace floodmark {

// Puts a window's pictures on its X window: through a shared-memory image where the server
// offers one, else through a plain image sent over the connection. Both write the picture's
// ARGB32 pixels as they are, which is what a 24- or 32-bit true-colour visual holds; any other
// visual is painted through Cairo's own X surface.
class PicturePresenter {
public:
    PicturePresenter(XConnection& connection, ::Window window, bool mayShare);
    ~PicturePresenter();
    PicturePresenter(const PicturePresenter&) = delete;
    PicturePresenter& operator=(const PicturePresenter&) = delete;

    // Puts `region` of the picture on the window (the whole picture when none is given).
    void present(const CairoCanvas& picture, std::optional<PixelRect> region = std::nullopt);
    bool sharesMemory() const { return shared_; }
    // The shared-memory image as a picture to draw a window of `points` at `scale` straight
    // into, or null without shared memory; `owed` becomes all of it when it holds nothing yet.
    CairoCanvas* sharedPicture(Size points, double scale, PixelRect& owed);
    // Puts `region` of the shared picture on the window.
    void presentShared(PixelRect region);

private:
    bool ensureSharedImage(int width, int height);
    void releaseSharedImage();
    void putShared(const CairoCanvas& picture, PixelRect region);
    void putPlain(const CairoCanvas& picture, PixelRect region);
    void paintThroughCairo(const CairoCanvas& picture, PixelRect region);

    XConnection& connection_;
    ::Window window_;
    GC gc_;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    bool directPixels_ = false;  // the visual holds ARGB32 pixels as they are
    bool shared_ = false;
    XImage* image_ = nullptr;
    XShmSegmentInfo segment_{};
    std::unique_ptr<CairoCanvas> sharedPicture_;  // over the image's memory
    PixelRect owed_;                              // what it holds no picture of yet
};

}  // namespace floodmark
