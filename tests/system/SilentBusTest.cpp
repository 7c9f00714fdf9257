// Desktop services that own their names but are slow or silent never hold the asker up.
#include "platform/system/SessionLock.h"
#include "support/SessionBus.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace floodmark {
namespace {

// A logind on a test bus that takes every question in and answers only when the test says.
class HeldLogind {
public:
    explicit HeldLogind(std::string address)
        : address_(std::move(address)), thread_([this] { serve(); }) {}
    ~HeldLogind() {
        stop_ = true;
        thread_.join();
    }

    bool ready() const { return ready_; }
    int questions() const { return questions_; }
    int held() const { return held_; }
    void answerWith(bool locked) {
        locked_ = locked;
        answer_ = true;
    }

private:
    static int take(sd_bus_message* message, void* data, sd_bus_error*) {
        auto* logind = static_cast<HeldLogind*>(data);
        if (!sd_bus_message_is_method_call(message, "org.freedesktop.DBus.Properties", "Get")) {
            return 0;
        }
        logind->waiting_.push_back(sd_bus_message_ref(message));
        ++logind->questions_;
        logind->held_ = static_cast<int>(logind->waiting_.size());
        return 1;
    }

    void serve() {
        sd_bus* bus = nullptr;
        if (sd_bus_new(&bus) < 0 || sd_bus_set_address(bus, address_.c_str()) < 0 ||
            sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0 ||
            sd_bus_add_filter(bus, nullptr, take, this) < 0 ||
            sd_bus_request_name(bus, "org.freedesktop.login1", 0) < 0) {
            sd_bus_unref(bus);
            return;
        }
        ready_ = true;
        while (!stop_) {
            while (sd_bus_process(bus, nullptr) > 0) {
            }
            if (answer_.exchange(false)) {
                for (sd_bus_message* question : waiting_) {
                    sd_bus_reply_method_return(question, "v", "b", static_cast<int>(locked_));
                    sd_bus_message_unref(question);
                }
                waiting_.clear();
                sd_bus_flush(bus);
                held_ = 0;
            }
            sd_bus_wait(bus, 10'000);
        }
        for (sd_bus_message* question : waiting_) {
            sd_bus_message_unref(question);
        }
        sd_bus_flush_close_unref(bus);
    }

    std::string address_;
    std::vector<sd_bus_message*> waiting_;
    std::atomic<bool> ready_ = false;
    std::atomic<bool> stop_ = false;
    std::atomic<bool> answer_ = false;
    std::atomic<bool> locked_ = false;
    std::atomic<int> questions_ = 0;
    std::atomic<int> held_ = 0;
    std::thread thread_;
};

// A saver asks once a second. Waiting on logind's reply (sd-bus's default is 25 s) would drop the
// reply the test gives afterwards and make the next question wait again: the lock would never
// be seen, and logind would be asked a second time before the first answer counted.
TEST(SilentBus, ALogindThatHoldsItsAnswerIsAskedAgainOnlyAfterTheAnswerCounted) {
    fixtures::SessionBus bus;
    ASSERT_TRUE(bus.running());
    HeldLogind logind(bus.address());
    ASSERT_TRUE(fixtures::waitUntil([&] { return logind.ready(); }));
    setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1);

    // Each thread has a connection of its own: this one starts with none.
    std::thread asker([&] {
        EXPECT_FALSE(readSessionLocked());
        ASSERT_TRUE(fixtures::waitUntil([&] { return logind.held() == 1; }));
        logind.answerWith(true);
        ASSERT_TRUE(fixtures::waitUntil([&] { return logind.held() == 0; }));
        for (;;) {
            int askedBefore = logind.questions();
            if (readSessionLocked()) {
                break;
            }
            ASSERT_EQ(askedBefore, 1) << "asked again before the first answer counted";
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    asker.join();
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

}  // namespace
}  // namespace floodmark
