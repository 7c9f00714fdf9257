#pragma once

#include <cstdint>
#include <functional>
#include <optional>

struct sd_bus;
struct sd_bus_message;
struct sd_bus_slot;

namespace floodmark {

// A yes-or-no question put to a D-Bus service again and again without the asker ever waiting on
// it: a desktop service that is owned but silent must not freeze a main loop. `answer` sends the
// call and returns with the last reply; the reply to this call is taken in whenever the bus is
// next processed. Only the first question waits, and at most `firstWait`, so that a program's
// first decision (a saver over a locked screen?) rests on an answer where the service is alive.
// A call unanswered after `deadline`, an error reply, or a reply that does not read, counts as no
// answer.
class BusQuestion {
public:
    // Makes the call message (null when it cannot be made); it must not start a service.
    using MakeCall = std::function<sd_bus_message*(sd_bus*)>;
    using ReadReply = std::function<std::optional<bool>(sd_bus_message*)>;

    static constexpr std::uint64_t defaultDeadlineMicroseconds = 3'000'000;
    static constexpr std::uint64_t firstWaitMicroseconds = 300'000;

    BusQuestion(MakeCall make, ReadReply read,
                std::uint64_t deadlineMicroseconds = defaultDeadlineMicroseconds);
    ~BusQuestion();
    BusQuestion(const BusQuestion&) = delete;
    BusQuestion& operator=(const BusQuestion&) = delete;

    // The last reply's answer; sends the next call on `bus` unless one is still out. The caller
    // processes `bus` (sd_bus_process) for replies to land.
    std::optional<bool> answer(sd_bus* bus);
    // Forgets the call that is out and the last answer (the bus it went on is gone).
    void reset();
    // Where the reply to the call that is out lands, an error or a timeout too.
    void replied(sd_bus_message* reply);

private:
    void awaitFirstReply(sd_bus* bus);

    MakeCall make_;
    ReadReply read_;
    std::uint64_t deadline_;
    sd_bus_slot* outstanding_ = nullptr;
    std::optional<bool> last_;
    bool askedBefore_ = false;
};

// A BusQuestion on a connection of its own to the system or the session bus, opened when first
// asked and opened again, at the next question, after it breaks.
class OwnBusQuestion {
public:
    enum class Bus { system, session };

    OwnBusQuestion(Bus bus, BusQuestion::MakeCall make, BusQuestion::ReadReply read);
    ~OwnBusQuestion();
    OwnBusQuestion(const OwnBusQuestion&) = delete;
    OwnBusQuestion& operator=(const OwnBusQuestion&) = delete;

    std::optional<bool> answer();

private:
    void close();

    Bus which_;
    BusQuestion question_;
    sd_bus* bus_ = nullptr;
};

}  // namespace floodmark
