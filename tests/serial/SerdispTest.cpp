#include "serial/Serdisp.h"
#include "serial/Serexcept.h"
#include "serial/Serport.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

namespace vx {
namespace {

using test::PortsDir;
using test::PtyLink;

constexpr std::uint32_t kTickPeriod = 0xFFFFFFFFu / 55 + 1;

TEST(TickClock, TimersExpireAfterTheirIntervalAcrossTheWrap) {
    EXPECT_FALSE(TimerExpired(100, 10, 100));
    EXPECT_FALSE(TimerExpired(100, 10, 110));
    EXPECT_TRUE(TimerExpired(100, 10, 111));
    // Started just before the 32-bit millisecond clock wraps: it still fires on time, not
    // weeks later.
    const std::uint32_t start = kTickPeriod - 5;
    EXPECT_FALSE(TimerExpired(start, 10, kTickPeriod - 1));
    EXPECT_FALSE(TimerExpired(start, 10, 4));
    EXPECT_TRUE(TimerExpired(start, 10, 6));
    EXPECT_TRUE(TimerExpired(start, 2184, 2200));
    EXPECT_FALSE(TimerExpired(start, 2184, 2100));
    EXPECT_EQ(TickClock(), MsClock() / 55);
}

TEST(TriggerHandles, RiseInStepsOfEightThenReuseLowFreeOnes) {
    auto dispatcher = CreateDispatcher();
    EXPECT_EQ(dispatcher->AddTimerTrigger(), 8);
    EXPECT_EQ(dispatcher->AddTimerTrigger(), 16);
    EXPECT_EQ(dispatcher->AddTimerTrigger(), 24);
    EXPECT_EQ(dispatcher->SetTimerTrigger(12, 5, true), ecBadTriggerHandle);
    EXPECT_EQ(dispatcher->SetTimerTrigger(16, 5, true), 0);
    EXPECT_EQ(dispatcher->RemoveTrigger(kLengthTriggerHandle), 0);
    EXPECT_EQ(dispatcher->RemoveTrigger(99), ecBadTriggerHandle);
    EXPECT_EQ(dispatcher->RemoveTrigger(16), 0);
    EXPECT_EQ(dispatcher->SetTimerTrigger(16, 5, true), ecBadTriggerHandle);
    int last = 0;
    for (int handle = 32; handle <= 32760; handle += 8) {
        last = dispatcher->AddTimerTrigger();
        ASSERT_EQ(last, handle);
    }
    EXPECT_EQ(dispatcher->AddTimerTrigger(), 16);  // the lowest free one
    for (int handle = 8; handle <= 4096; handle += 8) {
        dispatcher->RemoveTrigger(handle);
    }
    for (int handle = 8; handle <= 4096; handle += 8) {
        ASSERT_EQ(dispatcher->AddTimerTrigger(), handle);
    }
    EXPECT_EQ(dispatcher->AddTimerTrigger(), ecNoMoreTriggers);
}

class DispatcherTest : public test::UiFixture {
protected:
    struct Note {
        unsigned msg;
        unsigned value;
        long param;
    };

    void SetUp() override {
        UiFixture::SetUp();
        ports_.Link(6, pty_.SlavePath());
        port_.SetAutoOpen(false);
        port_.SetComNumber(6);
        port_.SetOpen(true);
        dispatcher_ = port_.GetDispatcher();
    }
    void TearDown() override {
        port_.SetOpen(false);
        WaitFor([&] { return port_.GetState() == psClosed; });
        UiFixture::TearDown();
    }
    std::vector<Note> Notes() {
        std::lock_guard lock(mutex_);
        return notes_;
    }
    void Record(unsigned msg, unsigned value, long param) {
        std::lock_guard lock(mutex_);
        notes_.push_back(Note{msg, value, param});
    }

    PortsDir ports_;
    PtyLink pty_;
    TSerComPort port_;
    TSerBaseDispatcher* dispatcher_ = nullptr;
    std::mutex mutex_;
    std::vector<Note> notes_;
};

TEST_F(DispatcherTest, AHandlerThatTakesFewerBytesLeavesTheRestUnread) {
    dispatcher_->RegisterEventTriggerHandler(this, [this](unsigned msg, unsigned value, long p) {
        Record(msg, value, p);
        char buf[2];
        EXPECT_EQ(dispatcher_->GetBlock(buf, 2), 2);
        EXPECT_EQ(dispatcher_->InBuffUsed(), static_cast<int>(value) - 2);
        EXPECT_EQ(dispatcher_->GetBlock(buf, static_cast<int>(value)), ecBufferIsEmpty);
    });
    pty_.Write("abcdef");
    ASSERT_TRUE(WaitFor([&] { return Notes().size() == 1; }));
    EXPECT_EQ(Notes()[0].msg, kTriggerAvail);
    EXPECT_EQ(Notes()[0].value, 6u);
    EXPECT_EQ(Notes()[0].param, static_cast<long>(dispatcher_->Handle()) * 65536);
    Pump(200);
    EXPECT_EQ(Notes().size(), 1u);  // nothing new arrived: no new notification
    EXPECT_EQ(dispatcher_->InBuffUsed(), 4);
    pty_.Write("g");
    ASSERT_TRUE(WaitFor([&] { return Notes().size() == 2; }));
    EXPECT_EQ(Notes()[1].value, 5u);  // every unread byte is offered again
    dispatcher_->DeregisterEventTriggerHandler(this);
    char rest[3];
    ASSERT_EQ(dispatcher_->GetBlock(rest, 3), 3);
    EXPECT_EQ(std::string(rest, 3), "efg");
}

TEST_F(DispatcherTest, SynchronisedHandlersRunOnTheUserInterfaceThread) {
    bool onUi = false;
    std::string got;
    dispatcher_->RegisterSyncEventTriggerHandler(this, [&](unsigned, unsigned value, long) {
        onUi = ui_.IsUiThread();
        std::string buf(value, '\0');
        dispatcher_->GetBlock(buf.data(), static_cast<int>(value));
        got += buf;
    });
    pty_.Write("hello");
    ASSERT_TRUE(WaitFor([&] { return got == "hello"; }));
    EXPECT_TRUE(onUi);
    dispatcher_->DeregisterEventTriggerHandler(this);
}

TEST_F(DispatcherTest, TimerTriggersFireOnceAndADeactivatedOneNever) {
    dispatcher_->RegisterEventTriggerHandler(
        this, [this](unsigned msg, unsigned value, long p) { Record(msg, value, p); });
    int fires = dispatcher_->AddTimerTrigger();
    int never = dispatcher_->AddTimerTrigger();
    ASSERT_GT(fires, 0);
    ASSERT_EQ(dispatcher_->SetTimerTrigger(fires, 2, true), 0);
    ASSERT_EQ(dispatcher_->SetTimerTrigger(never, 3, true), 0);
    ASSERT_EQ(dispatcher_->SetTimerTrigger(never, 0, false), 0);
    ASSERT_TRUE(WaitFor([&] { return !Notes().empty(); }));
    Pump(400);
    auto notes = Notes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].msg, kTriggerTimer);
    EXPECT_EQ(notes[0].value, static_cast<unsigned>(fires));
    dispatcher_->DeregisterEventTriggerHandler(this);
}

TEST_F(DispatcherTest, AFullRingStopsReadingWithoutSpinningUntilBytesAreTaken) {
    pty_.Write(std::string(9000, 'r'));
    ASSERT_TRUE(WaitFor([&] { return dispatcher_->InBuffUsed() == 8192; }));
    const double cpu = test::CpuMs();
    Pump(500);
    EXPECT_LT(test::CpuMs() - cpu, 250.0);
    EXPECT_EQ(dispatcher_->InBuffUsed(), 8192);
    std::vector<char> sink(8192);
    ASSERT_EQ(dispatcher_->GetBlock(sink.data(), 8192), 8192);
    ASSERT_TRUE(WaitFor([&] { return dispatcher_->InBuffUsed() == 808; }));
}

TEST_F(DispatcherTest, HandlersDeregisteredDuringADeliveryAreSkippedAfterIt) {
    std::atomic<int> firstCalls{0};
    std::atomic<int> secondCalls{0};
    const int ownerA = 0, ownerB = 0;
    dispatcher_->RegisterEventTriggerHandler(&ownerA, [&](unsigned, unsigned, long) {
        ++firstCalls;
        dispatcher_->DeregisterEventTriggerHandler(&ownerB);
    });
    dispatcher_->RegisterSyncEventTriggerHandler(&ownerB,
                                                 [&](unsigned, unsigned, long) { ++secondCalls; });
    pty_.Write("x");
    ASSERT_TRUE(WaitFor([&] { return firstCalls == 1; }));
    pty_.Write("y");
    ASSERT_TRUE(WaitFor([&] { return firstCalls == 2; }));
    EXPECT_EQ(secondCalls, 0);
    dispatcher_->DeregisterEventTriggerHandler(&ownerA);
}

}  // namespace
}  // namespace vx
