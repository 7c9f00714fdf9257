#pragma once

#include "platform/draw/CairoCanvas.h"
#include "platform/draw/DrawingContext.h"
#include "platform/kit/NativeWindow.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace floodmark {

class Window;

// A layer-backed view: it draws into a picture of its own that the host keeps until the view
// is marked for display again. Subviews cover their parent and resize with it.
class View {
public:
    explicit View(Size size) : size_(size) {}
    virtual ~View() = default;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    Size bounds() const { return size_; }
    virtual void setFrameSize(Size size);

    void addSubview(std::shared_ptr<View> subview);
    const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }

    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }

    bool needsDisplay() const { return needsDisplay_; }
    // Marks the whole view to be redrawn.
    void setNeedsDisplay();
    // Marks only `rect` (points, origin bottom-left): the rest of the picture stays as it is.
    // Marks add up until the view is redrawn.
    void setNeedsDisplayInRect(Rect rect);
    // This view or a visible subview is marked.
    bool treeNeedsDisplay() const;

    // The window the view is in, or null.
    Window* window() const { return window_; }

    virtual void draw(DrawingContext& context) { (void)context; }
    // Called after the view entered or left a window.
    virtual void viewDidMoveToWindow() {}
    // The view that takes a pointer event at `point`, or null to let it through.
    virtual View* hitTest(Point point);

    // Brings the view's picture up to date: redraws what is marked, else keeps it.
    const CairoCanvas& layer(double scale);
    // The pixels the last call of layer() painted afresh; empty when it kept the picture.
    PixelRect lastPainted() const { return lastPainted_; }
    // Counts the pictures layer() has painted, so that a copy of it can tell it is stale.
    std::uint64_t layerVersion() const { return layerVersion_; }

    // A view that puts its own pictures on the screen (the GPU drawing into the window): the
    // host composes nothing over it and asks it to present again when the screen lost them.
    virtual bool presentsItself() const { return false; }
    // Presents the last picture again; `always` even when nothing it shows has changed.
    virtual void presentAgain(bool always) { (void)always; }
    // How many pictures the view has put on the screen itself.
    virtual long long presentations() const { return 0; }
    // Paints the view's picture afresh: by default a cleared canvas with draw() over it.
    virtual void renderLayer(CairoCanvas& canvas);
    // Lays the view's picture over `clip` of `target`, a picture of its window, with no picture
    // of its own in between: by default draw() through a context clipped to those pixels.
    virtual void paintInto(CairoCanvas& target, PixelRect clip);
    // It paints every pixel of its bounds opaque, so what lies under it need not be cleared.
    virtual bool isOpaque() const { return false; }
    // The pixels of a `width` × `height` picture at `scale` that the view is marked in, taking
    // the marks; a picture of its own kept from layer() goes, since it misses what they mark.
    PixelRect takeMarks(double scale, int width, int height);

private:
    friend class Window;
    void moveToWindow(Window* window);

    Size size_;
    std::vector<std::shared_ptr<View>> subviews_;
    bool hidden_ = false;
    bool needsDisplay_ = true;
    std::optional<Rect> dirtyRect_;  // what is marked, when not the whole view
    PixelRect lastPainted_;
    Window* window_ = nullptr;
    std::unique_ptr<CairoCanvas> layer_;
    std::uint64_t layerVersion_ = 0;
};

// A window as the host gives it: one content view, a backing scale, and the picture of its
// view tree, which the host puts on the screen (or keeps offscreen).
class Window {
public:
    Window(Size size, double backingScale) : size_(size), backingScale_(backingScale) {}
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    double backingScale() const { return backingScale_; }
    Size size() const { return size_; }
    // Follows the host's window to a new size: the content view takes it and is redrawn.
    void setSize(Size size);
    // Follows the host's window to another monitor's scale: the view tree is redrawn.
    void setBackingScale(double scale);

    // The window system's window, or none for an offscreen one.
    const NativeWindow& nativeWindow() const { return nativeWindow_; }
    void setNativeWindow(NativeWindow window) { nativeWindow_ = window; }

    // The visible view that presents itself, or null when the host presents the picture.
    View* selfPresentingView() const;

    // Puts `view` in the window (null takes the present one out); the views are told.
    void setContentView(std::shared_ptr<View> view);
    const std::shared_ptr<View>& contentView() const { return contentView_; }

    // Paints what the view tree marked, and the pixels of `owed`, straight into `target`: a
    // picture of the window's pixel size that holds the tree's last picture elsewhere (the
    // buffer a host presents). The content view, cleared first unless opaque, then each
    // visible subview over it, each only over those pixels. The pixels it painted; damage()
    // then holds those that differ from the tree's last picture.
    PixelRect composeInto(CairoCanvas& target, PixelRect owed);
    // The same into a picture the window keeps, for hosts that copy it out. True when the
    // picture changed.
    bool compose();
    const CairoCanvas* picture() const { return picture_.get(); }
    // The pixels the last compose() changed: all that a host has to put on the screen again.
    PixelRect damage() const { return damage_; }
    // Off: every picture is painted and composed whole, as if everything had changed (to
    // measure what repainting only the changes saves).
    void setRedrawsOnlyChanges(bool on) { onlyChanges_ = on; }

private:
    Size size_;
    double backingScale_;
    std::shared_ptr<View> contentView_;
    std::unique_ptr<CairoCanvas> picture_;
    PixelRect damage_;
    bool onlyChanges_ = true;
    std::vector<View*> composedViews_;  // the visible views of the last picture
    std::shared_ptr<ReusableLayers> layers_ = std::make_shared<ReusableLayers>();
    NativeWindow nativeWindow_;
};

}  // namespace floodmark
