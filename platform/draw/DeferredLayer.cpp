#include "platform/draw/DeferredLayer.h"

#include <cstring>

namespace floodmark {

DeferredLayer::DeferredLayer(cairo_surface_t* layer, cairo_surface_t* target, PixelRect box)
    : layer_(cairo_surface_reference(layer)),
      target_(target),
      box_(box.intersected(
          {0, 0, cairo_image_surface_get_width(target), cairo_image_surface_get_height(target)})),
      owed_(static_cast<std::size_t>(box_.height), true),
      owedRows_(box_.height) {}

DeferredLayer::~DeferredLayer() {
    settleAll();
    cairo_surface_destroy(layer_);
}

bool DeferredLayer::fits(cairo_surface_t* layer, cairo_surface_t* target) {
    auto isArgbImage = [](cairo_surface_t* surface) {
        return cairo_surface_get_type(surface) == CAIRO_SURFACE_TYPE_IMAGE &&
               cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32;
    };
    return isArgbImage(layer) && isArgbImage(target) &&
           cairo_image_surface_get_width(layer) == cairo_image_surface_get_width(target) &&
           cairo_image_surface_get_height(layer) == cairo_image_surface_get_height(target);
}

std::uint32_t* DeferredLayer::rowOf(cairo_surface_t* surface, int row) const {
    unsigned char* data = cairo_image_surface_get_data(surface);
    const std::ptrdiff_t stride = cairo_image_surface_get_stride(surface);
    return reinterpret_cast<std::uint32_t*>(data + row * stride);
}

bool DeferredLayer::owes(int row) const {
    return row >= box_.y && row < box_.y + box_.height &&
           owed_[static_cast<std::size_t>(row - box_.y)];
}

const std::uint32_t* DeferredLayer::take(int row, int left, int right) {
    if (!owes(row)) {
        return nullptr;
    }
    if (left != box_.x || right != box_.x + box_.width) {
        settle(row);
        return nullptr;
    }
    owed_[static_cast<std::size_t>(row - box_.y)] = false;
    --owedRows_;
    return rowOf(layer_, row) + left;
}

void DeferredLayer::settle(int row) {
    if (!owes(row)) {
        return;
    }
    owed_[static_cast<std::size_t>(row - box_.y)] = false;
    --owedRows_;
    cairo_surface_flush(target_);
    copyRow(row);
    cairo_surface_mark_dirty_rectangle(target_, box_.x, row, box_.width, 1);
}

void DeferredLayer::copyRow(int row) {
    std::memcpy(rowOf(target_, row) + box_.x, rowOf(layer_, row) + box_.x,
                static_cast<std::size_t>(box_.width) * 4);
}

void DeferredLayer::settleAll() {
    if (owedRows_ == 0) {
        return;
    }
    cairo_surface_flush(target_);
    for (int row = box_.y; row < box_.y + box_.height; ++row) {
        if (owed_[static_cast<std::size_t>(row - box_.y)]) {
            owed_[static_cast<std::size_t>(row - box_.y)] = false;
            copyRow(row);
        }
    }
    owedRows_ = 0;
    cairo_surface_mark_dirty_rectangle(target_, box_.x, box_.y, box_.width, box_.height);
}

}  // namespace floodmark
