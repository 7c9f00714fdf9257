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

void View::paintInto(CairoCanvas& target, PixelRect clip) {
    target.draw([this](DrawingContext& context) { draw(context); }, clip);
}

PixelRect View::takeMarks(double scale, int width, int height) {
    if (!needsDisplay_) {
        return {};
    }
    needsDisplay_ = false;
    layer_.reset();
    PixelRect whole{0, 0, width, height};
    PixelRect marked = dirtyRect_ ? pixelsCovering(*dirtyRect_, scale, width, height) : whole;
    dirtyRect_.reset();
    return marked;
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

PixelRect Window::composeInto(CairoCanvas& target, PixelRect owed) {
    damage_ = {};
    if (!contentView_ || selfPresentingView() || target.size() != size_ ||
        target.scale() != backingScale_) {
        return {};
    }
    std::vector<View*> visible{contentView_.get()};
    for (const auto& subview : contentView_->subviews()) {
        if (!subview->isHidden()) {
            visible.push_back(subview.get());
        }
    }
    const PixelRect whole = target.pixelBounds();
    PixelRect changed;
    for (View* view : visible) {
        changed = changed.united(view->takeMarks(backingScale_, whole.width, whole.height));
    }
    if (visible != composedViews_ || (!onlyChanges_ && !changed.empty())) {
        // A view shown or hidden, or whole pictures asked for: everything is painted again.
        changed = whole;
        composedViews_ = visible;
    }
    changed = changed.intersected(whole);
    const PixelRect painted = changed.united(owed).intersected(whole);
    if (painted.empty()) {
        return {};
    }
    // The ground and whatever else a view keeps for reuse outlive the buffers it is drawn in.
    target.useReusableLayers(layers_);
    if (!contentView_->isOpaque()) {
        target.clear(painted);
    }
    for (View* view : visible) {
        view->paintInto(target, painted);
    }
    damage_ = changed;
    return painted;
}

bool Window::compose() {
    if (!picture_) {
        picture_ = std::make_unique<CairoCanvas>(size_, backingScale_);
        composedViews_.clear();
    }
    return !composeInto(*picture_, {}).empty();
}

}  // namespace floodmark
