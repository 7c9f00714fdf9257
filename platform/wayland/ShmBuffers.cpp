#include "platform/wayland/ShmBuffers.h"

#include "platform/draw/CairoCanvas.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

namespace floodmark {

ShmBuffers::~ShmBuffers() {
    for (auto& buffer : buffers_) {
        destroy(*buffer);
    }
}

void ShmBuffers::onRelease(void* data, wl_buffer*) {
    auto* buffer = static_cast<Buffer*>(data);
    buffer->busy = false;
    if (buffer->stale) {
        ShmBuffers& owner = *buffer->owner;
        auto found = std::find_if(owner.buffers_.begin(), owner.buffers_.end(),
                                  [buffer](const auto& held) { return held.get() == buffer; });
        owner.destroy(*buffer);
        owner.buffers_.erase(found);
    }
}

void ShmBuffers::destroy(Buffer& buffer) {
    buffer.picture.reset();
    if (buffer.buffer != nullptr) {
        wl_buffer_destroy(buffer.buffer);
    }
    if (buffer.pixels != nullptr) {
        munmap(buffer.pixels, buffer.bytes);
    }
}

ShmBuffers::Buffer* ShmBuffers::released(int width, int height) {
    // Buffers of another size are of no more use: gone now if free, else once released.
    for (std::size_t index = buffers_.size(); index-- > 0;) {
        Buffer& buffer = *buffers_[index];
        if (buffer.width == width && buffer.height == height) {
            continue;
        }
        if (buffer.busy) {
            buffer.stale = true;
        } else {
            destroy(buffer);
            buffers_.erase(buffers_.begin() + static_cast<std::ptrdiff_t>(index));
        }
    }
    for (auto& buffer : buffers_) {
        if (!buffer->busy && !buffer->stale) {
            return buffer.get();
        }
    }
    return buffers_.size() < limit ? make(width, height) : nullptr;
}

ShmBuffers::Buffer* ShmBuffers::make(int width, int height) {
    std::size_t stride = static_cast<std::size_t>(width) * 4;
    std::size_t bytes = stride * static_cast<std::size_t>(height);
    int descriptor = memfd_create("floodmark-picture", MFD_CLOEXEC);
    if (descriptor < 0) {
        return nullptr;
    }
    void* pixels = MAP_FAILED;
    if (ftruncate(descriptor, static_cast<off_t>(bytes)) == 0) {
        pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    }
    if (pixels == MAP_FAILED) {
        close(descriptor);
        return nullptr;
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm_, descriptor, static_cast<int32_t>(bytes));
    // Opaque pixels: the compositor need not blend the water with what lies under it.
    wl_buffer* handle = wl_shm_pool_create_buffer(
        pool, 0, width, height, static_cast<int32_t>(stride), WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(descriptor);

    auto buffer = std::make_unique<Buffer>();
    buffer->buffer = handle;
    buffer->pixels = pixels;
    buffer->bytes = bytes;
    buffer->width = width;
    buffer->height = height;
    buffer->owner = this;
    buffer->owed = {0, 0, width, height};  // a new buffer holds nothing yet
    static const wl_buffer_listener listener{.release = onRelease};
    wl_buffer_add_listener(handle, &listener, buffer.get());
    buffers_.push_back(std::move(buffer));
    return buffers_.back().get();
}

wl_buffer* ShmBuffers::draw(Size points, double scale, const Painter& paint, PixelRect& damage) {
    const auto [width, height] = points.pixelsAt(scale);
    Buffer* buffer = released(width, height);
    if (buffer == nullptr) {
        return nullptr;
    }
    if (!buffer->picture || buffer->picture->size() != points ||
        buffer->picture->scale() != scale) {
        // Cairo's ARGB32 is the compositor's XRGB8888 in memory.
        buffer->picture = std::make_unique<CairoCanvas>(
            points, scale, static_cast<unsigned char*>(buffer->pixels), width * 4);
    }
    damage = paint(*buffer->picture, buffer->owed).intersected({0, 0, width, height});
    if (damage.empty()) {
        return nullptr;
    }
    cairo_surface_flush(buffer->picture->surface());
    for (auto& held : buffers_) {
        held->owed = held->owed.united(damage);
    }
    buffer->owed = {};
    buffer->busy = true;
    return buffer->buffer;
}

}  // namespace floodmark
