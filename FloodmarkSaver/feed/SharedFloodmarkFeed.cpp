#include "FloodmarkSaver/feed/SharedFloodmarkFeed.h"

#include "FloodmarkSaver/status/SaverStatus.h"
#include "platform/kit/Time.h"

namespace floodmark {

std::shared_ptr<SharedFloodmarkFeed> SharedFloodmarkFeed::make(bool bindsBus,
                                                               FeedFactory makeFeed) {
    if (!makeFeed) {
        makeFeed = [bindsBus] {
            return std::make_shared<FloodmarkFeed>(
                FloodmarkFeed::Settings{.preview = !bindsBus, .status = SaverStatus::shared()},
                currentTime());
        };
    }
    return std::shared_ptr<SharedFloodmarkFeed>(
        new SharedFloodmarkFeed(bindsBus, std::move(makeFeed)));
}

const std::shared_ptr<SharedFloodmarkFeed>& SharedFloodmarkFeed::host() {
    static const std::shared_ptr<SharedFloodmarkFeed> share = make(true);
    return share;
}

SharedFloodmarkFeed::SharedFloodmarkFeed(bool bindsBus, FeedFactory makeFeed)
    : bindsBus_(bindsBus), makeFeed_(std::move(makeFeed)) {}

std::unique_ptr<FloodmarkFeedLease> SharedFloodmarkFeed::acquire() {
    if (!feed_) {
        feed_ = makeFeed_();
        if (bindsBus_) {
            feed_->start();
        }
        frame_.reset();
        serial_ = 0;
    }
    ++holders_;
    return std::unique_ptr<FloodmarkFeedLease>(new FloodmarkFeedLease(shared_from_this()));
}

void SharedFloodmarkFeed::release() {
    if (holders_ <= 0) {
        return;
    }
    if (--holders_ == 0) {
        feed_->stop();
        feed_.reset();
        frame_.reset();
    }
}

FloodmarkFeedLease::FloodmarkFeedLease(std::shared_ptr<SharedFloodmarkFeed> share)
    : share_(std::move(share)) {}

FloodmarkFeedLease::~FloodmarkFeedLease() {
    release();
}

FloodmarkFrame FloodmarkFeedLease::step(double now, bool reduceMotion, bool chromeVisible) {
    FloodmarkFrame frame;
    if (share_ && share_->feed_) {
        SharedFloodmarkFeed& share = *share_;
        if (!share.frame_ || share.serial_ == seen_) {
            share.frame_ = share.feed_->step(now, reduceMotion);
            ++share.serial_;
        }
        seen_ = share.serial_;
        frame = *share.frame_;
    } else {
        // A released lease has no feed to step; it shows the water at rest.
        frame = FloodmarkFrame::resting();
    }
    frame.chromeAlpha = chrome_.step(chromeVisible, now);
    return frame;
}

void FloodmarkFeedLease::release() {
    if (share_) {
        share_->release();
        share_.reset();
    }
}

}  // namespace floodmark
