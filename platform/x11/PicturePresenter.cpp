#include "platform/x11/PicturePresenter.h"

#include "platform/system/LeakCheckPause.h"

#include <cairo-xlib.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>

namespace floodmark {

namespace {

bool holdsArgbPixels(const Visual* visual, int depth) {
    return visual != nullptr && visual->c_class == TrueColor && (depth == 24 || depth == 32) &&
           visual->red_mask == 0xff0000 && visual->green_mask == 0xff00 &&
           visual->blue_mask == 0xff;
}

// Copies the region of the picture into the same place of an image of the same size, row by
// row, since the strides may differ.
void copyRegion(const CairoCanvas& picture, XImage& image, PixelRect region) {
    cairo_surface_t* surface = picture.surface();
    cairo_surface_flush(surface);
    const unsigned char* source = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(region.width) * 4;
    std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(region.x) * 4;
    for (int row = region.y; row < region.y + region.height; ++row) {
        std::memcpy(image.data + static_cast<std::ptrdiff_t>(row) * image.bytes_per_line + offset,
                    source + static_cast<std::ptrdiff_t>(row) * stride + offset, rowBytes);
    }
}

}  // namespace

PicturePresenter::PicturePresenter(XConnection& connection, ::Window window, bool mayShare)
    : connection_(connection), window_(window) {
    Display* display = connection.display();
    gc_ = XCreateGC(display, window, 0, nullptr);
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) != 0) {
        visual_ = attributes.visual;
        depth_ = attributes.depth;
    }
    directPixels_ = holdsArgbPixels(visual_, depth_) && ImageByteOrder(display) == LSBFirst;
    shared_ = directPixels_ && mayShare && XShmQueryExtension(display);
}

PicturePresenter::~PicturePresenter() {
    releaseSharedImage();
    XFreeGC(connection_.display(), gc_);
}

void PicturePresenter::present(const CairoCanvas& picture, std::optional<PixelRect> region) {
    PixelRect put = picture.pixelBounds();
    if (region) {
        put = region->intersected(put);
    }
    if (put.empty()) {
        return;
    }
    if (!directPixels_) {
        paintThroughCairo(picture, put);
    } else if (shared_ && ensureSharedImage(picture.pixelWidth(), picture.pixelHeight())) {
        putShared(picture, put);
    } else {
        putPlain(picture, put);
    }
}

bool PicturePresenter::ensureSharedImage(int width, int height) {
    if (image_ != nullptr && image_->width == width && image_->height == height) {
        return true;
    }
    releaseSharedImage();
    Display* display = connection_.display();
    image_ =
        XShmCreateImage(display, visual_, static_cast<unsigned>(depth_), ZPixmap, nullptr,
                        &segment_, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (image_ == nullptr) {
        shared_ = false;
        return false;
    }
    segment_.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image_->bytes_per_line) * height,
                            IPC_CREAT | 0600);
    segment_.shmaddr = segment_.shmid < 0 ? reinterpret_cast<char*>(-1)
                                          : static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
    if (segment_.shmaddr == reinterpret_cast<char*>(-1)) {
        if (segment_.shmid >= 0) {
            shmctl(segment_.shmid, IPC_RMID, nullptr);
        }
        XDestroyImage(image_);
        image_ = nullptr;
        shared_ = false;
        return false;
    }
    image_->data = segment_.shmaddr;
    segment_.readOnly = False;
    // A server in another IPC namespace, or of another user, may refuse the segment.
    bool attached = connection_.succeeds([&] { XShmAttach(display, &segment_); });
    // Marked for removal now, so that it goes with the last of us and the server to detach.
    shmctl(segment_.shmid, IPC_RMID, nullptr);
    if (!attached) {
        shmdt(segment_.shmaddr);
        image_->data = nullptr;
        XDestroyImage(image_);
        image_ = nullptr;
        shared_ = false;
        return false;
    }
    return true;
}

CairoCanvas* PicturePresenter::sharedPicture(Size points, double scale, PixelRect& owed) {
    const auto [width, height] = points.pixelsAt(scale);
    if (!directPixels_ || !shared_) {
        return nullptr;
    }
    if (sharedPicture_ && sharedPicture_->size() == points && sharedPicture_->scale() == scale &&
        image_ != nullptr && image_->width == width && image_->height == height) {
        owed = owed_;
        return sharedPicture_.get();
    }
    sharedPicture_.reset();
    if (!ensureSharedImage(width, height) ||
        image_->bytes_per_line != cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width)) {
        return nullptr;
    }
    sharedPicture_ = std::make_unique<CairoCanvas>(
        points, scale, reinterpret_cast<unsigned char*>(image_->data), image_->bytes_per_line);
    owed = owed_ = sharedPicture_->pixelBounds();
    return sharedPicture_.get();
}

void PicturePresenter::presentShared(PixelRect region) {
    if (!sharedPicture_) {
        return;
    }
    region = region.intersected(sharedPicture_->pixelBounds());
    if (region.empty()) {
        return;
    }
    owed_ = {};
    cairo_surface_flush(sharedPicture_->surface());
    XShmPutImage(connection_.display(), window_, gc_, image_, region.x, region.y, region.x,
                 region.y, static_cast<unsigned>(region.width),
                 static_cast<unsigned>(region.height), False);
    // The segment is drawn into again for the next picture only once the server has read it.
    XSync(connection_.display(), False);
}

void PicturePresenter::releaseSharedImage() {
    sharedPicture_.reset();
    if (image_ == nullptr) {
        return;
    }
    XShmDetach(connection_.display(), &segment_);
    XSync(connection_.display(), False);
    shmdt(segment_.shmaddr);
    image_->data = nullptr;
    XDestroyImage(image_);
    image_ = nullptr;
}

void PicturePresenter::putShared(const CairoCanvas& picture, PixelRect region) {
    copyRegion(picture, *image_, region);
    XShmPutImage(connection_.display(), window_, gc_, image_, region.x, region.y, region.x,
                 region.y, static_cast<unsigned>(region.width),
                 static_cast<unsigned>(region.height), False);
    // The segment is written again for the next picture only once the server has read it.
    XSync(connection_.display(), False);
}

void PicturePresenter::putPlain(const CairoCanvas& picture, PixelRect region) {
    cairo_surface_t* surface = picture.surface();
    cairo_surface_flush(surface);
    // The picture's own pixels go out as they are; the image only borrows them.
    XImage* image = XCreateImage(
        connection_.display(), visual_, static_cast<unsigned>(depth_), ZPixmap, 0,
        reinterpret_cast<char*>(cairo_image_surface_get_data(surface)),
        static_cast<unsigned>(picture.pixelWidth()), static_cast<unsigned>(picture.pixelHeight()),
        32, cairo_image_surface_get_stride(surface));
    if (image == nullptr) {
        return;
    }
    image->byte_order = LSBFirst;
    XPutImage(connection_.display(), window_, gc_, image, region.x, region.y, region.x, region.y,
              static_cast<unsigned>(region.width), static_cast<unsigned>(region.height));
    image->data = nullptr;
    XDestroyImage(image);
    XFlush(connection_.display());
}

void PicturePresenter::paintThroughCairo(const CairoCanvas& picture, PixelRect region) {
    if (visual_ == nullptr) {
        return;
    }
    cairo_surface_t* target = cairo_xlib_surface_create(
        connection_.display(), window_, visual_, picture.pixelWidth(), picture.pixelHeight());
    cairo_t* cairo = cairo_create(target);
    cairo_rectangle(cairo, region.x, region.y, region.width, region.height);
    cairo_clip(cairo);
    cairo_set_operator(cairo, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cairo, picture.surface(), 0, 0);
    {
        // Painting to a pseudo-colour visual, Cairo allocates a small table it never frees,
        // once per process: not ours to report.
        [[maybe_unused]] LeakCheckPause pause;
        cairo_paint(cairo);
    }
    cairo_destroy(cairo);
    cairo_surface_flush(target);
    cairo_surface_destroy(target);
    XFlush(connection_.display());
}

}  // namespace floodmark
