#include "FloodmarkSaver/live/LiveDemandAggregator.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

namespace floodmark {

namespace {

// Decay time constants of a session's level, seconds.
constexpr double settlingTau = 4;
constexpr double activeTau = 25;
constexpr double idleTau = 8;  // stale, or waiting for the user
// A session whose level decays below this is forgotten.
constexpr double goneBelow = 0.01;

}  // namespace

LiveDemandAggregator::LiveDemandAggregator(std::shared_ptr<LiveDemandCalibration> calibration)
    : calibration_(std::move(calibration)) {}

double LiveDemandAggregator::attack(const std::optional<std::string>& sizeBucket) {
    if (sizeBucket == "s") {
        return 0.35;
    }
    if (sizeBucket == "l") {
        return 0.75;
    }
    if (sizeBucket == "xl") {
        return 0.95;
    }
    return 0.55;
}

double LiveDemandAggregator::curve(double ratio) {
    if (!(ratio > 0)) {
        return 0;
    }
    if (ratio >= 1) {
        return 1;
    }
    if (ratio <= 0.35) {
        return 0.26 * (1 - std::exp(-ratio / 0.12)) / 0.9458862337771784;
    }
    return 0.26 + 0.74 * (ratio - 0.35) / 0.65;
}

void LiveDemandAggregator::ingest(const LiveSignal& signal, double now) {
    if (signal.event == LiveEvent::halted) {
        ingestHalted(signal, now);
        return;
    }
    std::string key = signal.streamKey();
    if (sessions_.size() >= maxSessions && !sessions_.contains(key)) {
        makeRoomForSessions();
    }
    auto [found, created] = sessions_.try_emplace(key);
    Envelope& session = found->second;
    if (created) {
        session.tool = signal.tool;
    }
    session.lastEventAt = now;
    session.awaitingSince.reset();
    stoppedShort_.erase(key);
    if (signal.event != LiveEvent::awaiting) {
        session.backgroundUntil.reset();
    }

    switch (signal.event.value()) {
        case LiveEvent::promptSubmitted:
            session.settling = false;
            session.level = std::max(session.level, attack(signal.sizeBucket));
            break;
        case LiveEvent::toolCall:
            session.settling = false;
            session.level = std::min(std::max(session.level, 0.3) + 0.03, 1.0);
            break;
        case LiveEvent::compaction:
            session.settling = false;
            session.level = std::min(session.level + 0.12, 1.0);
            pendingImpulse_ = ImpulseKind::compaction;
            break;
        case LiveEvent::toolFailure:
            session.settling = false;
            session.level = std::min(session.level + 0.06, 1.0);
            pendingImpulse_ = ImpulseKind::failure;
            break;
        case LiveEvent::stop:
            if (signal.leftBackgroundWork()) {
                session.settling = false;
                session.backgroundUntil = now + LiveSignal::backgroundTrust;
            } else {
                session.settling = true;
                pendingImpulse_ = ImpulseKind::sessionEnd;
            }
            break;
        case LiveEvent::awaiting:
            session.awaitingSince = now;
            break;
        case LiveEvent::halted:
            break;
    }
}

// The sessions that would settle first go: those already settling, then the lowest. A tenth
// goes at once, so that a flood of new sessions costs a scan per thousand, not per session.
void LiveDemandAggregator::makeRoomForSessions() {
    std::vector<std::pair<std::tuple<bool, double>, std::string>> order;
    order.reserve(sessions_.size());
    for (const auto& [key, session] : sessions_) {
        order.push_back({{!session.settling, session.level}, key});
    }
    std::size_t leaving = std::max<std::size_t>(1, maxSessions / 10);
    std::nth_element(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(leaving - 1),
                     order.end());
    for (std::size_t index = 0; index < leaving; ++index) {
        sessions_.erase(order[index].second);
    }
    evictedSessions_ += static_cast<long long>(leaving);
}

void LiveDemandAggregator::ingestHalted(const LiveSignal& signal, double now) {
    std::string key = signal.streamKey();
    auto found = sessions_.find(key);
    // A halt only ends work that is known and still going.
    if (found == sessions_.end() || found->second.settling) {
        return;
    }
    Envelope& session = found->second;
    session.lastEventAt = now;
    session.settling = true;
    session.awaitingSince.reset();
    session.backgroundUntil.reset();
    if (signal.errorKind && (stoppedShort_.size() < maxSessions || stoppedShort_.contains(key))) {
        stoppedShort_[key] = {*signal.errorKind, now, signal.resumeHoldUntil(now)};
    } else {
        stoppedShort_.erase(key);
    }
    pendingImpulse_ = ImpulseKind::sessionEnd;
}

LiveDemandReading LiveDemandAggregator::tick(double now, double elapsed) {
    if (!std::isfinite(elapsed) || elapsed < 0) {
        elapsed = 0;
    }

    double rawY = 0;
    double rawX = 0;
    long long awaiting = 0;
    for (auto entry = sessions_.begin(); entry != sessions_.end();) {
        Envelope& session = entry->second;
        if (session.awaitingSince && now - *session.awaitingSince > awaitingTtl) {
            session.awaitingSince.reset();
        }
        double age = now - session.lastEventAt;
        bool trusted = session.backgroundUntil && now < *session.backgroundUntil;
        bool waiting = session.awaitingSince.has_value();
        double tau = session.settling                               ? settlingTau
                     : (!waiting && (age <= staleAfter || trusted)) ? activeTau
                                                                    : idleTau;
        session.level *= std::exp(-elapsed / tau);
        if (!waiting && session.level < goneBelow && !trusted) {
            entry = sessions_.erase(entry);
            continue;
        }
        rawY += session.level;
        if (waiting) {
            ++rawX;
            ++awaiting;
        } else if (age <= concurrencyWindow || trusted) {
            ++rawX;
        }
        ++entry;
    }

    std::erase_if(stoppedShort_, [now](const auto& entry) {
        const StoppedShort& record = entry.second;
        bool held = now - record.at < stoppedHold || (record.holdUntil && now < *record.holdUntil);
        return !held;
    });

    calibration_->observe(rawY, rawX, now, elapsed);

    LiveDemandReading reading;
    reading.impulse = std::exchange(pendingImpulse_, std::nullopt);
    reading.awaiting = awaiting;
    if (!stoppedShort_.empty()) {
        bool rateLimited = std::any_of(
            stoppedShort_.begin(), stoppedShort_.end(),
            [](const auto& entry) { return entry.second.kind == StoppedKind::rateLimit; });
        reading.stopped = std::string(rateLimited ? StoppedKind::rateLimit : StoppedKind::error);
    }
    if (calibration_->isMature()) {
        reading.y = 0.95 * curve(rawY / calibration_->yDenominator());
        reading.x = 0.9 * curve(rawX / calibration_->xDenominator());
    } else {
        reading.y = 0.95 * (1 - std::exp(-rawY));
        reading.x = 0.9 * (1 - std::exp(-0.3255 * rawX));
    }
    return reading;
}

}  // namespace floodmark
