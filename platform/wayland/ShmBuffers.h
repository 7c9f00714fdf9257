#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct wl_buffer;
struct wl_shm;

namespace floodmark {

class CairoCanvas;

// A surface's few shared-memory buffers: a picture is copied into one the compositor has
// released and handed over; one still held is never written. At most `limit` exist, so a
// compositor that holds them all makes the host wait rather than allocate.
class ShmBuffers {
public:
    static constexpr std::size_t limit = 3;

    explicit ShmBuffers(wl_shm* shm) : shm_(shm) {}
    ~ShmBuffers();
    ShmBuffers(const ShmBuffers&) = delete;
    ShmBuffers& operator=(const ShmBuffers&) = delete;

    // A released buffer holding `picture`'s pixels, marked busy; null when all are held or
    // none can be made.
    wl_buffer* fill(const CairoCanvas& picture);
    std::size_t count() const { return buffers_.size(); }

private:
    struct Buffer {
        wl_buffer* buffer = nullptr;
        void* pixels = nullptr;
        std::size_t bytes = 0;
        int width = 0;
        int height = 0;
        bool busy = false;
        bool stale = false;  // of an old size: destroyed once released
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
