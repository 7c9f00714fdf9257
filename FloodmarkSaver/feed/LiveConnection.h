#pragma once

#include "FloodmarkSaver/feed/BoundedHandOff.h"
#include "FloodmarkSaver/frame/ImpulseKind.h"
#include "FloodmarkSaver/live/LiveDemandAggregator.h"
#include "FloodmarkSaver/live/SharedReading.h"
#include "platform/kit/Time.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace floodmark {

class LiveBus;
class SaverStatus;

// The feed's side of the live socket: binding it and giving it up, the bus's lines handed to
// the main thread and into the aggregator, the held signals replayed, and the reading that
// results, published for the savers of the other monitors or, when another process owns the
// socket, followed from that one. Main thread only.
class LiveConnection {
public:
    struct Settings {
        std::string socketPath;
        bool preview = false;
        std::shared_ptr<SaverStatus> status;
        std::function<double()> clock;
    };

    LiveConnection(Settings settings, std::shared_ptr<LiveDemandAggregator> aggregator);
    ~LiveConnection();
    LiveConnection(const LiveConnection&) = delete;
    LiveConnection& operator=(const LiveConnection&) = delete;

    void allowBinding() { mayBind_ = true; }
    // Gives the socket up and forbids binding.
    void stop();
    // Gives the socket up, as a fresh away-state file asks, and follows no one.
    void release();
    // Once a second: binds when allowed and due (true when it bound just now), replays signals
    // held while owning (or left behind a busy lock at the bind), and decides whether to follow
    // another owner.
    bool arbitrate(double now);
    // Each step: ticks the aggregator while owning the socket (at most every
    // FloodmarkFeed::aggregatorTickInterval) or reads the followed owner's reading. Gives the
    // impulse to show, if any.
    std::optional<ImpulseKind> advance(double now);
    // Counts what the bounds dropped, and the peers refused, into the status object.
    void reportDropped(SaverStatus& status);

    bool ownsBus() const { return ownsBus_; }
    bool isFollowing() const { return following_; }
    bool mayBind() const { return mayBind_; }
    const LiveDemandReading& reading() const { return lastReading_; }

private:
    void attemptBind(double now);
    long long replayHeld(double now);
    void replayAgain(double now);
    std::optional<ImpulseKind> tickAggregator(double now);
    void publishReading(double now);
    void withdrawReading();
    const std::optional<SharedReading>& followedReading(double now);
    std::optional<ImpulseKind> followOwner(double now);

    Settings settings_;
    std::shared_ptr<LiveDemandAggregator> aggregator_;
    std::unique_ptr<LiveBus> bus_;
    // Lines waiting for the main thread; beyond this many they are dropped.
    static constexpr std::size_t maxWaitingLines = 10000;
    // The coarsest step at which held signals are replayed into the aggregator, seconds.
    static constexpr double replayTickStep = 1.0;
    std::shared_ptr<BoundedHandOff> handOff_ = std::make_shared<BoundedHandOff>(maxWaitingLines);
    std::string replayPath_;
    bool ownsBus_ = false;
    bool mayBind_ = false;
    double lastTick_ = distantPast;
    double lastBindAttempt_ = distantPast;
    LiveDemandReading lastReading_;

    // The owner's readings for the other monitors' savers, and the one this feed follows.
    std::string readingPath_;
    SharedReading published_;
    double publishedAt_ = distantPast;
    bool following_ = false;
    std::optional<SharedReading> followedCache_;
    double followReadAt_ = distantPast;
    std::optional<std::int64_t> seenImpulseSerial_;
};

}  // namespace floodmark
