#include "FloodmarkSaver/feed/LiveConnection.h"

#include "FloodmarkSaver/feed/FloodmarkFeed.h"
#include "FloodmarkSaver/feed/Pace.h"
#include "FloodmarkSaver/live/HeldSignals.h"
#include "FloodmarkSaver/live/LiveBus.h"
#include "FloodmarkSaver/status/SaverStatus.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace floodmark {

namespace {

bool exists(const std::string& path) {
    struct stat existing {};
    return lstat(path.c_str(), &existing) == 0;
}

}  // namespace

LiveConnection::LiveConnection(Settings settings, std::shared_ptr<LiveDemandAggregator> aggregator)
    : settings_(std::move(settings)),
      aggregator_(std::move(aggregator)),
      replayPath_(HeldSignals::path(settings_.socketPath)),
      readingPath_(SharedReading::pathFor(settings_.socketPath)) {}

LiveConnection::~LiveConnection() = default;

void LiveConnection::stop() {
    mayBind_ = false;
    release();
    // The bus, which stops as it goes, and its queue's thread.
    bus_.reset();
}

void LiveConnection::release() {
    if (ownsBus_) {
        bus_->stop();
        ownsBus_ = false;
        withdrawReading();
    }
    following_ = false;
}

bool LiveConnection::arbitrate(double now) {
    bool bound = false;
    if (!ownsBus_ && mayBind_ && isDue(now, lastBindAttempt_, FloodmarkFeed::bindRetryInterval)) {
        attemptBind(now);
        bound = ownsBus_;
    } else if (ownsBus_ && HeldSignals::waiting(replayPath_)) {
        // Held while this owner could not take them (stopped, or too slow to read): replayed
        // now rather than at the next bind.
        replayAgain(now);
    }
    // A display feed that another process's owner keeps from the socket shows that owner's
    // water, so that every monitor shows the same.
    bool follows = !ownsBus_ && !settings_.preview && followedReading(now).has_value();
    if (!follows) {
        seenImpulseSerial_.reset();
    }
    following_ = follows;
    return bound;
}

void LiveConnection::attemptBind(double now) {
    lastBindAttempt_ = now;
    std::weak_ptr<LiveDemandAggregator> weakAggregator = aggregator_;
    auto handOff = handOff_;
    auto status = settings_.status;
    auto clock = settings_.clock;
    auto onSignal = [weakAggregator, handOff, status, clock](const LiveSignal& signal) {
        // Keep the aggregator until the work has run; it runs on the main thread.
        if (auto aggregator = weakAggregator.lock()) {
            handOff->post([aggregator = std::move(aggregator), status, clock, signal] {
                double arrived = clock();
                aggregator->ingest(signal, arrived);
                if (status) {
                    status->signalReceived(signal.event.rawValue(), arrived);
                }
            });
        }
    };
    auto onOther = [weakAggregator, handOff, status,
                    clock](const std::optional<std::string>& session) {
        std::optional<std::string> kept;
        if (session) {
            kept = session->substr(0, SaverStatus::maxClientTextBytes);
        }
        handOff->post([weakAggregator, status, clock, session = std::move(kept)] {
            if (weakAggregator.expired() || !status) {
                return;  // the feed is gone
            }
            if (session) {
                status->pingReceived(*session, clock());
            } else {
                status->unknownEventReceived();
            }
        });
    };

    // One bus, and one queue thread, for the feed's life: a retry every 15 s reuses it.
    if (!bus_) {
        bus_ = std::make_unique<LiveBus>(settings_.socketPath, onOther, onSignal);
    }
    if (bus_->start()) {
        ownsBus_ = true;
        lastTick_ = distantPast;
        long long replayed = replayHeld(now);
        if (const auto& status = settings_.status) {
            status->boundSocket(settings_.socketPath, replayed, now);
        }
        return;
    }
    if (settings_.status && exists(settings_.socketPath)) {
        settings_.status->bindRefused(now);
    }
}

long long LiveConnection::replayHeld(double now) {
    auto held = HeldSignals::take(replayPath_, now);
    if (held.empty()) {
        return 0;
    }
    double ticked = HeldSignals::replayInto(*aggregator_, held, held.front().at, replayTickStep);
    aggregator_->tick(now, now - ticked);
    return static_cast<long long>(held.size());
}

void LiveConnection::replayAgain(double now) {
    auto held = HeldSignals::take(replayPath_, now);
    if (held.empty()) {
        return;
    }
    // Signals held before the last tick count from it, so that no time decays twice; the
    // next tick carries the aggregator on to the present.
    double from = lastTick_ == distantPast ? held.front().at : lastTick_;
    lastTick_ = HeldSignals::replayInto(*aggregator_, held, from, replayTickStep);
    if (const auto& status = settings_.status) {
        status->heldSignalsReplayed(static_cast<std::int64_t>(held.size()));
    }
}

std::optional<ImpulseKind> LiveConnection::advance(double now) {
    if (ownsBus_ && isDue(now, lastTick_, FloodmarkFeed::aggregatorTickInterval)) {
        return tickAggregator(now);
    }
    if (following_) {
        return followOwner(now);
    }
    return std::nullopt;
}

void LiveConnection::reportDropped(SaverStatus& status) {
    SaverStatus::Dropped dropped{.lines = handOff_->takeDropped(),
                                 .evictedSessions = aggregator_->takeEvictedSessions()};
    if (bus_) {
        dropped.closedClients = bus_->takeEvictedClients();
        dropped.refusedPeers = bus_->takeRefusedPeers();
        dropped.lines += bus_->takeOverlongLines();
    }
    status.inputDropped(dropped);
}

std::optional<ImpulseKind> LiveConnection::tickAggregator(double now) {
    double elapsed =
        lastTick_ == distantPast ? FloodmarkFeed::aggregatorTickInterval : now - lastTick_;
    lastTick_ = now;
    lastReading_ = aggregator_->tick(now, elapsed);
    publishReading(now);
    return lastReading_.impulse;
}

void LiveConnection::publishReading(double now) {
    if (lastReading_.impulse) {
        ++published_.impulseSerial;
        published_.impulse = lastReading_.impulse;
        published_.impulseAt = now;
    }
    published_.reading = lastReading_;
    published_.reading.impulse.reset();
    published_.at = now;
    if (isDue(now, publishedAt_, SharedReading::publishInterval)) {
        publishedAt_ = now;
        published_.write(readingPath_);
    }
}

void LiveConnection::withdrawReading() {
    unlink(readingPath_.c_str());
    publishedAt_ = distantPast;
}

const std::optional<SharedReading>& LiveConnection::followedReading(double now) {
    if (isDue(now, followReadAt_, SharedReading::publishInterval)) {
        followReadAt_ = now;
        followedCache_ = SharedReading::read(readingPath_, now);
    }
    return followedCache_;
}

std::optional<ImpulseKind> LiveConnection::followOwner(double now) {
    const auto& shared = followedReading(now);
    if (!shared) {
        // The owner is gone or silent: rest until the next arbitration or bind.
        lastReading_ = {};
        return std::nullopt;
    }
    lastReading_ = shared->reading;
    // Each of the owner's impulses once, the first seen only marking where the count stands.
    std::optional<ImpulseKind> impulse;
    if (seenImpulseSerial_ && shared->impulseSerial != *seenImpulseSerial_ && shared->impulse &&
        now - shared->impulseAt <= FloodmarkFeed::impulseFreshness) {
        impulse = shared->impulse;
    }
    seenImpulseSerial_ = shared->impulseSerial;
    return impulse;
}

}  // namespace floodmark
