#include "platform/system/BusQuestion.h"

#include <systemd/sd-bus.h>

#include <chrono>
#include <utility>

namespace floodmark {

namespace {

int onReply(sd_bus_message* reply, void* data, sd_bus_error*) {
    static_cast<BusQuestion*>(data)->replied(reply);
    return 0;
}

}  // namespace

BusQuestion::BusQuestion(MakeCall make, ReadReply read, std::uint64_t deadlineMicroseconds)
    : make_(std::move(make)), read_(std::move(read)), deadline_(deadlineMicroseconds) {}

BusQuestion::~BusQuestion() { reset(); }

void BusQuestion::reset() {
    // Unreferencing the slot cancels the call: its reply, if one still comes, is dropped.
    outstanding_ = sd_bus_slot_unref(outstanding_);
    last_.reset();
}

std::optional<bool> BusQuestion::answer(sd_bus* bus) {
    if (outstanding_ != nullptr || bus == nullptr) {
        return last_;
    }
    sd_bus_message* call = make_(bus);
    if (call == nullptr) {
        last_.reset();
        return last_;
    }
    if (sd_bus_call_async(bus, &outstanding_, call, onReply, this, deadline_) < 0) {
        outstanding_ = nullptr;
        last_.reset();
    }
    sd_bus_message_unref(call);
    if (!askedBefore_) {
        askedBefore_ = true;
        awaitFirstReply(bus);
    }
    return last_;
}

void BusQuestion::awaitFirstReply(sd_bus* bus) {
    using Clock = std::chrono::steady_clock;
    auto until = Clock::now() + std::chrono::microseconds(firstWaitMicroseconds);
    while (outstanding_ != nullptr) {
        int processed = sd_bus_process(bus, nullptr);
        auto left = std::chrono::duration_cast<std::chrono::microseconds>(until - Clock::now());
        if (processed < 0 || left.count() <= 0) {
            return;
        }
        if (processed == 0 && sd_bus_wait(bus, static_cast<std::uint64_t>(left.count())) < 0) {
            return;
        }
    }
}

void BusQuestion::replied(sd_bus_message* reply) {
    // sd-bus holds its own reference to the slot while this runs.
    outstanding_ = sd_bus_slot_unref(outstanding_);
    last_ = sd_bus_message_is_method_error(reply, nullptr) ? std::nullopt : read_(reply);
}

OwnBusQuestion::OwnBusQuestion(Bus bus, BusQuestion::MakeCall make, BusQuestion::ReadReply read)
    : which_(bus), question_(std::move(make), std::move(read)) {}

OwnBusQuestion::~OwnBusQuestion() { close(); }

void OwnBusQuestion::close() {
    question_.reset();
    bus_ = sd_bus_close_unref(bus_);
}

std::optional<bool> OwnBusQuestion::answer() {
    if (bus_ == nullptr) {
        // Connecting and greeting the bus go on in the background like the calls.
        int opened = which_ == Bus::system ? sd_bus_open_system(&bus_) : sd_bus_open_user(&bus_);
        if (opened < 0) {
            bus_ = nullptr;
            return std::nullopt;
        }
    }
    int processed = 0;
    while ((processed = sd_bus_process(bus_, nullptr)) > 0) {
    }
    if (processed < 0) {
        close();
        return std::nullopt;
    }
    return question_.answer(bus_);
}

}  // namespace floodmark
