#pragma once

#include "FloodmarkSaver/feed/ChromeFade.h"
#include "FloodmarkSaver/feed/FloodmarkFeed.h"
#include "FloodmarkSaver/frame/FloodmarkFrame.h"

#include <functional>
#include <memory>
#include <optional>

namespace floodmark {

class FloodmarkFeedLease;

// Hosts one feed for every view that holds a lease on it, so that all displays of a process
// show the same water and only one feed owns the live socket. Main thread only.
class SharedFloodmarkFeed : public std::enable_shared_from_this<SharedFloodmarkFeed> {
public:
    using FeedFactory = std::function<std::shared_ptr<FloodmarkFeed>()>;

    // `makeFeed` absent: a feed on the default paths, preview unless `bindsBus`.
    static std::shared_ptr<SharedFloodmarkFeed> make(bool bindsBus = true,
                                                     FeedFactory makeFeed = nullptr);

    // The process-wide share of every display view, made on first use.
    static const std::shared_ptr<SharedFloodmarkFeed>& host();

    // The first holder makes the feed (and starts it when it binds the bus).
    std::unique_ptr<FloodmarkFeedLease> acquire();

    bool bindsBus() const { return bindsBus_; }
    int holders() const { return holders_; }
    const std::shared_ptr<FloodmarkFeed>& feed() const { return feed_; }

private:
    friend class FloodmarkFeedLease;

    SharedFloodmarkFeed(bool bindsBus, FeedFactory makeFeed);

    // The last holder gone stops and drops the feed.
    void release();

    bool bindsBus_;
    FeedFactory makeFeed_;
    std::shared_ptr<FloodmarkFeed> feed_;
    int holders_ = 0;
    std::optional<FloodmarkFrame> frame_;  // the feed's last frame, chrome alpha 1
    long long serial_ = 0;                 // frames the current feed has produced
};

// One view's hold on a shared feed, with that view's own chrome fade.
class FloodmarkFeedLease {
public:
    ~FloodmarkFeedLease();
    FloodmarkFeedLease(const FloodmarkFeedLease&) = delete;
    FloodmarkFeedLease& operator=(const FloodmarkFeedLease&) = delete;

    // Steps the shared feed unless another lease already has since this one last looked, then
    // lays this view's chrome fade over the frame.
    FloodmarkFrame step(double now, bool reduceMotion, bool chromeVisible = true);
    // Safe to call more than once.
    void release();
    bool isReleased() const { return share_ == nullptr; }

private:
    friend class SharedFloodmarkFeed;
    explicit FloodmarkFeedLease(std::shared_ptr<SharedFloodmarkFeed> share);

    std::shared_ptr<SharedFloodmarkFeed> share_;
    long long seen_ = -1;
    ChromeFade chrome_;
};

}  // namespace floodmark
