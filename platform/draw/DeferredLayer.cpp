#include "platform/draw/DeferredLayer.h"

#include <utility>

namespace floodmark {

DeferredLayer::DeferredLayer(std::shared_ptr<const GroundLayer> layer, cairo_surface_t* target,
                             PixelRect box)
    : layer_(std::move(layer)),
      target_(target),
      box_(box.intersected(
          {0, 0, cairo_image_surface_get_width(target), cairo_image_surface_get_height(target)})),
      owed_(static_cast<std::size_t>(box_.height), true),
      owedRows_(box_.height) {}

DeferredLayer::~DeferredLayer() {
    settleAll();
}

bool DeferredLayer::fits(const GroundLayer& layer, cairo_surface_t* target) {
    return cairo_surface_get_type(target) == CAIRO_SURFACE_TYPE_IMAGE &&
           cairo_image_surface_get_format(target) == CAIRO_FORMAT_ARGB32 &&
           cairo_image_surface_get_data(target) != nullptr &&
           layer.width() == cairo_image_surface_get_width(target) &&
           layer.height() == cairo_image_surface_get_height(target);
}

bool DeferredLayer::owes(int row) const {
    return row >= box_.y && row < box_.y + box_.height &&
           owed_[static_cast<std::size_t>(row - box_.y)];
}

std::optional<GroundPixels> DeferredLayer::take(int row, int left, int right) {
    if (!owes(row)) {
        return std::nullopt;
    }
    if (left != box_.x || right != box_.x + box_.width) {
        settle(row);
        return std::nullopt;
    }
    owed_[static_cast<std::size_t>(row - box_.y)] = false;
    --owedRows_;
    return layer_->row(row, left);
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
    unsigned char* data = cairo_image_surface_get_data(target_);
    const std::ptrdiff_t stride = cairo_image_surface_get_stride(target_);
    layer_->copyRow(row, box_.x, box_.width,
                    reinterpret_cast<std::uint32_t*>(data + row * stride) + box_.x);
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
