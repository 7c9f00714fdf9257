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

void View::setNeedsDisplay() {
    needsDisplay_ = true;
    dirtyRect_.reset();
}

void View::setNeedsDisplayInRect(Rect rect) {
    if (!needsDisplay_) {
        needsDisplay_ = true;
        dirtyRect_ = rect;
    } else if (dirtyRect_) {
        double left = std::min(dirtyRect_->x, rect.x);
        double bottom = std::min(dirtyRect_->y, rect.y);
        double right = std::max(dirtyRect_->x + dirtyRect_->width, rect.x + rect.width);
        double top = std::max(dirtyRect_->y + dirtyRect_->height, rect.y + rect.height);
        dirtyRect_ = Rect{left, bottom, right - left, top - bottom};
    }
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
    lastPainted_ = {};
    if (!layer_ || layer_->size() != size_ || layer_->scale() != scale) {
        layer_ = std::make_unique<CairoCanvas>(size_, scale);
        setNeedsDisplay();
    }
    if (!needsDisplay_) {
        return *layer_;
    }
    needsDisplay_ = false;
    if (dirtyRect_) {
        lastPainted_ = layer_->pixelsCovering(*dirtyRect_);
        dirtyRect_.reset();
        if (!lastPainted_.empty()) {
            layer_->clear(lastPainted_);
            layer_->draw([this](DrawingContext& context) { draw(context); }, lastPainted_);
            ++layerVersion_;
        }
        return *layer_;
    }
    lastPainted_ = layer_->pixelBounds();
    renderLayer(*layer_);
    ++layerVersion_;
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
    composedViews_.clear();
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
    damage_ = {};
    if (!contentView_ || !contentView_->treeNeedsDisplay() || selfPresentingView()) {
        return false;
    }
    std::vector<View*> visible{contentView_.get()};
    for (const auto& subview : contentView_->subviews()) {
        if (!subview->isHidden()) {
            visible.push_back(subview.get());
        }
    }
    // Every layer is brought up to date first, so that all of them are composed over the
    // union of what they painted.
    std::vector<const CairoCanvas*> layers;
    PixelRect painted;
    for (View* view : visible) {
        if (!onlyChanges_ && view->needsDisplay()) {
            view->setNeedsDisplay();
        }
        layers.push_back(&view->layer(backingScale_));
        painted = painted.united(view->lastPainted());
    }
    if (!picture_ || visible != composedViews_ || (!onlyChanges_ && !painted.empty())) {
        // A new picture, a view shown or hidden, or whole pictures asked for: everything is
        // composed again.
        if (!picture_) {
            picture_ = std::make_unique<CairoCanvas>(size_, backingScale_);
        }
        painted = picture_->pixelBounds();
        composedViews_ = visible;
    }
    damage_ = painted.intersected(picture_->pixelBounds());
    if (damage_.empty()) {
        return false;
    }
    // The lowest layer replaces the damaged pixels, the others are laid over it.
    picture_->replace(*layers.front(), damage_);
    for (std::size_t i = 1; i < layers.size(); ++i) {
        picture_->compose(*layers[i], damage_);
    }
    return true;
}

}  // namespace floodmark
