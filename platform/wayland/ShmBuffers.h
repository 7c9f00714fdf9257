#pragma once

#include "platform/draw/PixelRect.h"

#include <cstdint>
#include <memory>
#include <vector>

struct wl_buffer;
struct wl_shm;

namespace floodmark {

class CairoCanvas;

// A surface's few shared-memory buffers: a picture is copied into one the compositor has
// released and handed over; one still held is never written. At most `limit` exist, so a
// compositor that holds them all makes the host wait rather than allocate. A buffer reused
// holds an older picture: it is stale by the damage of every picture since it was last
// filled, so each keeps the union of that damage and only that is copied into it.
class ShmBuffers {
public:
    static constexpr std::size_t limit = 3;

    explicit ShmBuffers(wl_shm* shm) : shm_(shm) {}
    ~ShmBuffers();
    ShmBuffers(const ShmBuffers&) = delete;
    ShmBuffers& operator=(const ShmBuffers&) = delete;

    // A released buffer holding `picture`'s pixels, marked busy; null when all are held or
    // none can be made. `damage` is where `picture` differs from the one filled before it.
    wl_buffer* fill(const CairoCanvas& picture, PixelRect damage);
    std::size_t count() const { return buffers_.size(); }
    // The pixels' bytes copied into buffers so far.
    long long bytesCopied() const { return bytesCopied_; }

private:
    struct Buffer {
        wl_buffer* buffer = nullptr;
        void* pixels = nullptr;
        std::size_t bytes = 0;
        int width = 0;
        int height = 0;
        bool busy = false;
        bool stale = false;  // of an old size: destroyed once released
        PixelRect owed;      // where the buffer differs from the latest picture
        ShmBuffers* owner = nullptr;
    };

    Buffer* released(int width, int height);
    Buffer* make(int width, int height);
    void destroy(Buffer& buffer);
    static void onRelease(void* data, wl_buffer* buffer);

    wl_shm* shm_;
    std::vector<std::unique_ptr<Buffer>> buffers_;
    long long bytesCopied_ = 0;
};

}  // namespace floodmark
