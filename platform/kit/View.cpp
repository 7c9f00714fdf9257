#include "platform/kit/View.h"

#include <algorithm>

namespace floodmark {

void View::setFrameSize(Size size) {
    size_ = size;
    for (const auto& subview : subviews_) {
        subview->setFrameSize(size);
    }
    setNeedsDisplay();
}

void View::addSubview(std::shared_ptr<View> subview) {
    subview->setFrameSize(size_);
    subview->moveToWindow(window_);
    subviews_.push_back(std::move(subview));
}

bool View::treeNeedsDisplay() const {
    return needsDisplay_ || std::any_of(subviews_.begin(), subviews_.end(), [](const auto& view) {
               return !view->isHidden() && view->treeNeedsDisplay();
           });
}

View* View::hitTest(Point point) {
    if (hidden_ || point.x < 0 || point.y < 0 || point.x > size_.width || point.y > size_.height) {
        return nullptr;
    }
    for (auto subview = subviews_.rbegin(); subview != subviews_.rend(); ++subview) {
        if (View* hit = (*subview)->hitTest(point)) {
            return hit;
        }
    }
    return this;
}

const CairoCanvas& View::layer(double scale) {
    if (!layer_ || layer_->size() != size_ || layer_->scale() != scale) {
        layer_ = std::make_unique<CairoCanvas>(size_, scale);
        needsDisplay_ = true;
    }
    if (needsDisplay_) {
        needsDisplay_ = false;
        renderLayer(*layer_);
        ++layerVersion_;
    }
    return *layer_;
}

void View::renderLayer(CairoCanvas& canvas) {
    canvas.clear();
    canvas.draw([this](DrawingContext& context) { draw(context); });
}

void View::moveToWindow(Window* window) {
    if (window_ == window) {
        return;
    }
    window_ = window;
    for (const auto& subview : subviews_) {
        subview->moveToWindow(window);
    }
    viewDidMoveToWindow();
}

Window::~Window() {
    if (contentView_) {
        contentView_->moveToWindow(nullptr);
    }
}

void Window::setContentView(std::shared_ptr<View> view) {
    if (contentView_) {
        contentView_->moveToWindow(nullptr);
    }
    contentView_ = std::move(view);
    if (contentView_) {
        contentView_->setFrameSize(size_);
        contentView_->moveToWindow(this);
    }
}

void Window::setSize(Size size) {
    if (size == size_) {
        return;
    }
    size_ = size;
    picture_.reset();
    if (contentView_) {
        contentView_->setFrameSize(size_);
    }
}

void Window::setBackingScale(double scale) {
    if (scale == backingScale_) {
        return;
    }
    backingScale_ = scale;
    picture_.reset();
    if (contentView_) {
        contentView_->setFrameSize(size_);
    }
}

View* Window::selfPresentingView() const {
    if (!contentView_) {
        return nullptr;
    }
    for (const auto& subview : contentView_->subviews()) {
        if (!subview->isHidden() && subview->presentsItself()) {
            return subview.get();
        }
    }
    return nullptr;
}

bool Window::compose() {
    if (!contentView_ || !contentView_->treeNeedsDisplay() || selfPresentingView()) {
        return false;
    }
    if (!picture_) {
        picture_ = std::make_unique<CairoCanvas>(size_, backingScale_);
    }
    picture_->clear();
    picture_->compose(contentView_->layer(backingScale_));
    for (const auto& subview : contentView_->subviews()) {
        if (!subview->isHidden()) {
            picture_->compose(subview->layer(backingScale_));
        }
    }
    return true;
}

}  // namespace floodmark
