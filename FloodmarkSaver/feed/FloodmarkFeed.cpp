#include "FloodmarkSaver/feed/FloodmarkFeed.h"
#include "FloodmarkSaver/common/JsonText.h"

#include "FloodmarkSaver/feed/AwayMessages.h"
#include "FloodmarkSaver/feed/Easing.h"
#include "FloodmarkSaver/live/HeldSignals.h"
#include "FloodmarkSaver/live/LiveBus.h"
#include "FloodmarkSaver/live/SaverReplay.h"
#include "FloodmarkSaver/scene/FloodmarkRendererLevels.h"
#include "FloodmarkSaver/status/SaverStatus.h"
#include "platform/kit/MainLoop.h"
#include "platform/kit/ShortTimeText.h"
#include "platform/system/ApplicationDirectory.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/FileLock.h"
#include "platform/system/Files.h"
#include "platform/system/PrivateDirectory.h"
#include "platform/system/ReadFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace floodmark {

namespace {

// Whether at least `interval` has passed since `last`. A clock that moved back before `last`
// counts as due too: otherwise setting the clock back an hour would freeze the feed for one.
bool due(double now, double last, double interval) {
    return now - last >= interval || now < last;
}

// The learned week from the calibration file. A file that is there but cannot be read whole
// (unreadable, too large, not JSON) is kept aside as calibration.json.bad, replacing an older
// one, rather than overwritten with a fresh week when the feed stops.
std::shared_ptr<LiveDemandCalibration> restoreCalibration(const std::string& path) {
    struct stat existing {};
    if (lstat(path.c_str(), &existing) != 0) {
        return std::make_shared<LiveDemandCalibration>();
    }
    auto content = readSmallFile(path, FloodmarkFeed::maxCalibrationBytes);
    auto object = content ? parseJsonText(*content) : nlohmann::json();
    if (object.is_object()) {
        return std::make_shared<LiveDemandCalibration>(&object);
    }
    std::rename(path.c_str(), (path + ".bad").c_str());
    return std::make_shared<LiveDemandCalibration>();
}

// Drops the marks older than `life` (an age of exactly `life` stays) and gives the rest as
// frame marks, their ages as shares of that life.
std::vector<SurfaceMark> ageMarks(std::vector<FloodmarkFeed::Mark>& marks, double life,
                                  double now) {
    std::erase_if(marks, [&](const FloodmarkFeed::Mark& mark) { return now - mark.born > life; });
    std::vector<SurfaceMark> aged;
    aged.reserve(marks.size());
    for (const auto& mark : marks) {
        aged.push_back({.age = (now - mark.born) / life, .position = mark.position});
    }
    return aged;
}

}  // namespace

const std::string& FloodmarkFeed::defaultCalibrationPath() {
    static const std::string path = applicationDirectory() + "/calibration.json";
    return path;
}

const std::string& FloodmarkFeed::defaultSocketPath() {
    return LiveBus::defaultPath();
}

FloodmarkFeed::FloodmarkFeed(Settings settings, double now)
    : settings_(std::move(settings)),
      aggregator_(restoreCalibration(settings_.calibrationPath)),
      readingPath_(SharedReading::pathFor(settings_.socketPath)),
      epoch_(now) {}

FloodmarkFeed::~FloodmarkFeed() = default;

void FloodmarkFeed::start() {
    mayBind_ = true;
    // Arbitrated first: a feed that a fresh away-state file pairs does not bind, so the held
    // signals stay for the next owner rather than vanish with a socket given up at once.
    double now = settings_.clock();
    lastArbitration_ = now;
    arbitrate(now);
}

void FloodmarkFeed::stop() {
    mayBind_ = false;
    bool owned = ownsBus_;
    if (bus_) {
        bus_->stop();
        bus_.reset();
    }
    if (owned) {
        withdrawReading();
    }
    ownsBus_ = false;
    following_ = false;
    if (everOwnedBus_) {
        persistCalibration(settings_.clock());
    }
    if (owned && !settings_.preview && settings_.status) {
        settings_.status->ownsBus = false;
        settings_.status->write(settings_.clock());
    }
}

void FloodmarkFeed::attemptBind(double now) {
    lastBindAttempt_ = now;
    std::weak_ptr<FloodmarkFeed> weak = weak_from_this();
    auto handOff = handOff_;
    auto onSignal = [weak, handOff](const LiveSignal& signal) {
        // Keep the feed until the work has run; it runs on the main thread.
        if (auto feed = weak.lock()) {
            handOff->post([feed = std::move(feed), signal] {
                double arrived = feed->settings_.clock();
                feed->aggregator_.ingest(signal, arrived);
                if (const auto& status = feed->settings_.status) {
                    ++status->signals;
                    status->lastSignalAt = arrived;
                    status->lastSignalEvent = std::string(signal.event.rawValue());
                }
            });
        }
    };
    auto onOther = [weak, handOff](const std::optional<std::string>& session) {
        std::optional<std::string> kept;
        if (session) {
            kept = session->substr(0, SaverStatus::maxClientTextBytes);
        }
        handOff->post([weak, session = std::move(kept)] {
            auto feed = weak.lock();
            if (!feed || !feed->settings_.status) {
                return;
            }
            SaverStatus& status = *feed->settings_.status;
            if (session) {
                double arrived = feed->settings_.clock();
                status.lastPingAt = arrived;
                status.lastPingSession = *session;
                status.writeSoon(arrived);
            } else {
                ++status.unknownEvents;
            }
        });
    };

    // One bus, and one queue thread, for the feed's life: a retry every 15 s reuses it.
    if (!bus_) {
        bus_ = std::make_unique<LiveBus>(settings_.socketPath, onOther, onSignal);
    }
    if (bus_->start()) {
        ownsBus_ = true;
        everOwnedBus_ = true;
        calibrationSavedAt_ = now;
        lastTick_ = distantPast;
        long long replayed = replayHeld(now);
        if (const auto& status = settings_.status) {
            status->ownsBus = true;
            status->mode = FeedMode::live;
            status->socketPath = settings_.socketPath;
            status->boundAt = now;
            status->replayed = replayed;
            status->write(now);
        }
        return;
    }
    struct stat existing {};
    if (settings_.status && lstat(settings_.socketPath.c_str(), &existing) == 0) {
        settings_.status->bindRefusedAt = now;
    }
}

long long FloodmarkFeed::replayHeld(double now) {
    std::string path = SaverReplay::path(settings_.socketPath);
    std::vector<SaverReplay::HeldSignal> held;
    {
        // Hooks add to the file under this lock: none is half way through while it is taken.
        FileLock lock(HeldSignals::lockPath(path), HeldSignals::readerLockTimeout);
        held = SaverReplay::read(path, now);
        unlink(path.c_str());
    }
    if (held.empty()) {
        return 0;
    }
    // A tick walks every session, so ticking between every two of tens of thousands of entries
    // would cost their square: the aggregator is ticked at most every `replayTickStep` of the
    // entries' own time instead, as a running feed ticks it at most a few times a second.
    double ticked = held.front().at;
    for (const auto& [at, signal] : held) {
        if (at - ticked >= replayTickStep) {
            aggregator_.tick(at, at - ticked);
            ticked = at;
        }
        aggregator_.ingest(signal, at);
    }
    aggregator_.tick(now, now - ticked);
    return static_cast<long long>(held.size());
}

void FloodmarkFeed::arbitrate(double now) {
    if (pairedReading(now)) {
        if (ownsBus_) {
            bus_->stop();
            ownsBus_ = false;
            withdrawReading();
        }
        following_ = false;
        mode_ = FeedMode::paired;
        return;
    }
    if (!ownsBus_ && mayBind_ && due(now, lastBindAttempt_, bindRetryInterval)) {
        attemptBind(now);
    }
    // A display feed that another process's owner keeps from the socket shows that owner's
    // water, so that every monitor shows the same.
    bool follows = !ownsBus_ && !settings_.preview && followedReading(now).has_value();
    if (!follows) {
        seenImpulseSerial_.reset();
    }
    following_ = follows;
    mode_ = ownsBus_ || following_ ? FeedMode::live : FeedMode::ambient;
}

const std::optional<PairedState>& FloodmarkFeed::pairedReading(double now) {
    if (due(now, pairedReadAt_, pairedRereadInterval)) {
        pairedReadAt_ = now;
        pairedCache_ = PairedState::read(settings_.statePath, now);
    }
    return pairedCache_;
}

void FloodmarkFeed::persistCalibration(double now) {
    calibrationSavedAt_ = now;
    // Never through a link at the application's folder: the file is ours alone.
    PrivateDirectory folder(parentDirectory(settings_.calibrationPath));
    if (!folder.isOpen()) {
        return;
    }
    std::string bytes = aggregator_.calibration()->toJson().dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
    // Atomic, so that a crash mid-write cannot cost the week of learning.
    std::string name = settings_.calibrationPath.substr(settings_.calibrationPath.rfind('/') + 1);
    writeFileAtomicallyAt(folder.descriptor(), name, bytes);
}

void FloodmarkFeed::tickAggregator(double now) {
    double elapsed = lastTick_ == distantPast ? aggregatorTickInterval : now - lastTick_;
    lastTick_ = now;
    lastReading_ = aggregator_.tick(now, elapsed);
    if (lastReading_.impulse) {
        if (auto kind = ImpulseKind::fromRawValue(*lastReading_.impulse)) {
            spawnImpulse(*kind, now);
        }
    }
    publishReading(now);
}

void FloodmarkFeed::publishReading(double now) {
    if (lastReading_.impulse) {
        ++published_.impulseSerial;
        published_.impulse = lastReading_.impulse;
        published_.impulseAt = now;
    }
    published_.reading = lastReading_;
    published_.reading.impulse.reset();
    published_.at = now;
    if (due(now, publishedAt_, SharedReading::publishInterval)) {
        publishedAt_ = now;
        published_.write(readingPath_);
    }
}

void FloodmarkFeed::withdrawReading() {
    unlink(readingPath_.c_str());
    publishedAt_ = distantPast;
}

const std::optional<SharedReading>& FloodmarkFeed::followedReading(double now) {
    if (due(now, followReadAt_, SharedReading::publishInterval)) {
        followReadAt_ = now;
        followedCache_ = SharedReading::read(readingPath_, now);
    }
    return followedCache_;
}

void FloodmarkFeed::followOwner(double now) {
    const auto& shared = followedReading(now);
    if (!shared) {
        // The owner is gone or silent: rest until the next arbitration or bind.
        lastReading_ = {};
        return;
    }
    lastReading_ = shared->reading;
    // Each of the owner's impulses once, the first seen only marking where the count stands.
    if (seenImpulseSerial_ && shared->impulseSerial != *seenImpulseSerial_ && shared->impulse &&
        now - shared->impulseAt <= impulseFreshness) {
        if (auto kind = ImpulseKind::fromRawValue(*shared->impulse)) {
            spawnImpulse(*kind, now);
        }
    }
    seenImpulseSerial_ = shared->impulseSerial;
}

FloodmarkFrame FloodmarkFeed::step(double now, bool reduceMotion) {
    if (due(now, lastArbitration_, arbitrationInterval)) {
        lastArbitration_ = now;
        arbitrate(now);
    }
    if (const auto& status = settings_.status) {
        if (!settings_.preview) {
            status->mode = mode_;
            status->ownsBus = ownsBus_;
            status->following = following_;
        }
        status->droppedLines += handOff_->takeDropped();
        if (bus_) {
            status->closedClients += bus_->takeEvictedClients();
        }
        status->evictedSessions += aggregator_.takeEvictedSessions();
        status->heartbeat(now);
    }
    if (ownsBus_ && due(now, lastTick_, aggregatorTickInterval)) {
        tickAggregator(now);
    } else if (following_) {
        followOwner(now);
    }
    if (ownsBus_ && due(now, calibrationSavedAt_, calibrationSaveInterval)) {
        persistCalibration(now);
    }
    Targets target = targets(now);

    if (lastStepAt_) {
        double dt = now - *lastStepAt_;
        easedY_ = easeToward(easedY_, target.level, dt, riseTau, fallTau);
        easedX_ = easeToward(easedX_, target.activity, dt, runRiseTau, runFallTau);
    } else {
        easedY_ = target.level;
        easedX_ = target.activity;
    }
    lastStepAt_ = now;

    FloodmarkFrame frame;
    frame.y = easedY_;
    frame.x = easedX_;
    frame.severity = pairedSeverity_;
    frame.style = pairedStyle_;
    frame.time = now - epoch_;
    frame.ripples = ageMarks(ripples_, rippleLife, now);
    frame.pops = ageMarks(pops_, popLife, now);
    frame.clock = shortTimeText(now);
    frame.message = message(target.awaiting, now);
    frame.reduceMotion = reduceMotion;
    frame.depth = pairedDepth_;
    frame.sustain = pairedSustain_;
    return frame;
}

FloodmarkFeed::Targets FloodmarkFeed::targets(double now) {
    constexpr double resting = FloodmarkRendererLevels::ambientResting;
    switch (mode_.value()) {
        case FeedMode::paired: {
            const auto& reading = pairedReading(now);
            if (!reading) {
                // The next arbitration leaves paired mode; the tint holds until then.
                return {.level = resting, .activity = 0, .awaiting = 0};
            }
            if (reading->impulse && reading->impulseAt) {
                consumeImpulse(*reading->impulse, *reading->impulseAt, now);
            }
            pairedSeverity_ = reading->severity;
            pairedStyle_ = reading->style.drawn();
            pairedDepth_ = std::min(0.6 * reading->agents + 0.4 * reading->mix, 1.0);
            pairedSustain_ = reading->sustain;
            return {.level = reading->y, .activity = reading->x, .awaiting = reading->awaiting};
        }
        case FeedMode::live: {
            resetPaired();
            // Quiet agents leave the water at rest rather than drain it.
            double level = lastReading_.isQuiet() ? std::max(lastReading_.y, resting)
                                                  : std::max(lastReading_.y, 0.0);
            return {.level = level, .activity = lastReading_.x, .awaiting = lastReading_.awaiting};
        }
        case FeedMode::ambient:
            break;
    }
    resetPaired();
    return {.level = resting, .activity = 0, .awaiting = 0};
}

void FloodmarkFeed::resetPaired() {
    pairedSeverity_ = -1;
    pairedStyle_ = SaverStyle::standard;
    pairedDepth_ = 0;
    pairedSustain_ = absentSustain();
}

std::optional<std::string> FloodmarkFeed::message(long long awaiting, double now) const {
    if (settings_.preview && mode_ != FeedMode::paired) {
        return std::string(AwayMessages::previewNote);
    }
    return AwayMessages::line(easedY_, awaiting, now - epoch_);
}

void FloodmarkFeed::spawnImpulse(ImpulseKind kind, double now) {
    if (kind.isPop()) {
        // A pop rises where the surface activity stands when the impulse arrives.
        pops_.push_back({.born = now, .position = std::clamp(easedX_, 0.04, 0.98)});
        return;
    }
    // A 64-bit linear congruential step (Knuth's MMIX constants); the upper half places it.
    rippleSeed_ = rippleSeed_ * 6364136223846793005ULL + 1442695040888963407ULL;
    double position = static_cast<double>(rippleSeed_ >> 32) / 4294967295.0;
    ripples_.push_back({.born = now, .position = std::clamp(position, 0.05, 0.95)});
}

void FloodmarkFeed::consumeImpulse(ImpulseKind kind, double at, double now) {
    if (lastImpulseAt_ == at) {
        return;
    }
    lastImpulseAt_ = at;
    if (now - at <= impulseFreshness) {
        spawnImpulse(kind, now);
    }
}

}  // namespace floodmark
