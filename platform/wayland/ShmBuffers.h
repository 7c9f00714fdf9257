#pragma once

#include "platform/draw/CairoCanvas.h"
#include "platform/draw/PixelRect.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct wl_buffer;
struct wl_shm;

namespace floodmark {

// A surface's few shared-memory buffers: a picture is drawn straight into one the compositor
// has released and handed over; one still held is never written. At most `limit` exist, so a
// compositor that holds them all makes the host wait rather than allocate. A buffer reused
// holds an older picture: it is owed the damage of every picture since it was last drawn, so
// each keeps the union of that damage and only that is drawn again in it.
class ShmBuffers {
public:
    static constexpr std::size_t limit = 3;

    explicit ShmBuffers(wl_shm* shm) : shm_(shm) {}
    ~ShmBuffers();
    ShmBuffers(const ShmBuffers&) = delete;
    ShmBuffers& operator=(const ShmBuffers&) = delete;

    // Draws into a released buffer for a picture of `points` at `scale`: `paint` gets its
    // pixels and what they are owed, paints at least the owed, and returns where the picture
    // differs from the one before it. The buffer, marked busy, with that in `damage`; null
    // when all are held, none can be made, or the picture is the one before.
    using Painter = std::function<PixelRect(CairoCanvas& picture, PixelRect owed)>;
    wl_buffer* draw(Size points, double scale, const Painter& paint, PixelRect& damage);
    std::size_t count() const { return buffers_.size(); }

private:
    struct Buffer {
        wl_buffer* buffer = nullptr;
        void* pixels = nullptr;
        std::size_t bytes = 0;
        int width = 0;
        int height = 0;
        bool busy = false;
        bool stale = false;                    // of an old size: destroyed once released
        PixelRect owed;                        // where the buffer differs from the latest picture
        std::unique_ptr<CairoCanvas> picture;  // over the pixels
        ShmBuffers* owner = nullptr;
    };

    Buffer* released(int width, int height);
    Buffer* make(int width, int height);
    void destroy(Buffer& buffer);
    static void onRelease(void* data, wl_buffer* buffer);

    wl_shm* shm_;
    std::vector<std::unique_ptr<Buffer>> buffers_;
};

}  // namespace floodmark
