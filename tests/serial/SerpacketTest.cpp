#include "serial/Serexcept.h"
#include "serial/Serpacket.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace vx {
namespace {

using test::PortsDir;
using test::PtyLink;

const std::string kStx = "\x02";
const std::string kEtx = "\x03";

// ---- Matching, on a stand-alone manager fed directly ----

class FramerTest : public ::testing::Test {
protected:
    void SetUp() override {
        manager_->Attach(&dpkt_);
        dpkt_.SetStartString(kStx);
        dpkt_.SetEndString("\r");
        dpkt_.OnStringPacket = [this](TSerDataPacket*, const std::string& s) {
            packets_.push_back(s);
        };
    }
    void Feed(const std::string& bytes) { manager_->Feed(bytes.data(), bytes.size()); }

    std::shared_ptr<TSerDataPacketManager> manager_ = TSerDataPacketManager::CreateStandalone();
    TSerDataPacket dpkt_;
    std::vector<std::string> packets_;
};

TEST_F(FramerTest, DefaultsAreThoseOfTheComponent) {
    TSerDataPacket fresh;
    EXPECT_FALSE(fresh.GetEnabled());
    EXPECT_TRUE(fresh.GetAutoEnable());
    EXPECT_EQ(fresh.GetStartCond(), scString);
    EXPECT_EQ(fresh.GetEndCond(), 0u);
    EXPECT_TRUE(fresh.GetIgnoreCase());
    EXPECT_TRUE(fresh.GetIncludeStrings());
    EXPECT_EQ(fresh.GetTimeOut(), 2184);
    EXPECT_EQ(fresh.GetPacketSize(), 0);
    EXPECT_EQ(fresh.GetComPort(), nullptr);
}

TEST_F(FramerTest, OneMessageWithTrailingLineFeedThenTheNextStart) {
    dpkt_.SetEnabled(true);
    Feed(kStx + "Q,1.23,M" + kEtx + "4F\r\n" + kStx + "Q,2");
    ASSERT_EQ(packets_.size(), 1u);
    EXPECT_EQ(packets_[0], kStx + "Q,1.23,M" + kEtx + "4F\r");
    Feed(".00,M" + kEtx + "77\r");
    ASSERT_EQ(packets_.size(), 2u);
    EXPECT_EQ(packets_[1], kStx + "Q,2.00,M" + kEtx + "77\r");
}

TEST_F(FramerTest, BytesBeforeTheFirstStartAreDiscarded) {
    dpkt_.SetStartString("$");
    dpkt_.SetEnabled(true);
    Feed("12.5,M*3A\r\n$WI,1*00\r");
    ASSERT_EQ(packets_.size(), 1u);
    EXPECT_EQ(packets_[0], "$WI,1*00\r");
    EXPECT_EQ(manager_->BufferLength(), 0u);
    EXPECT_EQ(manager_->BufferCapacity(), 0u);  // an emptied buffer is freed
}

TEST_F(FramerTest, ASecondStartBeforeTheEndDoesNotRestartThePacket) {
    dpkt_.SetStartString("$");
    dpkt_.SetEnabled(true);
    Feed("$AB$CD\r");
    ASSERT_EQ(packets_.size(), 1u);
    EXPECT_EQ(packets_[0], "$AB$CD\r");
    EXPECT_EQ(packets_[0].size(), 7u);
}

TEST_F(FramerTest, TwoMessagesInOneChunkAreTwoPacketsInOrder) {
    dpkt_.SetEnabled(true);
    Feed(kStx + "first\r\n" + kStx + "second\r\n");
    EXPECT_EQ(packets_, (std::vector<std::string>{kStx + "first\r", kStx + "second\r"}));
    EXPECT_TRUE(dpkt_.GetEnabled());  // re-armed after each packet
}

TEST_F(FramerTest, AMessageSplitOverChunksIsDeliveredOnceAtItsEnd) {
    dpkt_.SetEnabled(true);
    for (char c : kStx + "split,over,chunks\r") {
        EXPECT_TRUE(packets_.empty());
        Feed(std::string(1, c));
    }
    EXPECT_EQ(packets_, (std::vector<std::string>{kStx + "split,over,chunks\r"}));
}

TEST_F(FramerTest, ALostEndRunsIntoTheNextMessage) {
    dpkt_.SetEnabled(true);
    Feed(kStx + "one" + kStx + "two\r");
    EXPECT_EQ(packets_, (std::vector<std::string>{kStx + "one" + kStx + "two\r"}));
}

TEST_F(FramerTest, DisablingMidPacketAbandonsIt) {
    dpkt_.SetEnabled(true);
    Feed(kStx + "half");
    EXPECT_EQ(dpkt_.GetMode(), dpCollecting);
    dpkt_.SetEnabled(false);
    EXPECT_EQ(dpkt_.GetMode(), dpIdle);
    Feed("rest\r");
    dpkt_.SetEnabled(true);
    Feed("tail\r" + kStx + "new\r");
    EXPECT_EQ(packets_, (std::vector<std::string>{kStx + "new\r"}));
}

// The reads of a file replay: a start kept across reads, a second start inside the packet, an
// abandoned partial packet that a bare end cannot complete.
TEST_F(FramerTest, ReadsOfAReplayAreFramedAsALiveStream) {
    dpkt_.SetStartString("$");
    dpkt_.SetEnabled(true);
    Feed("xx$A");
    Feed("B$C");
    EXPECT_TRUE(packets_.empty());
    Feed("D\r\n$E\r$F");
    EXPECT_EQ(packets_, (std::vector<std::string>{"$AB$CD\r", "$E\r"}));
    dpkt_.SetEnabled(false);
    dpkt_.SetEnabled(true);
    Feed("G\r");
    EXPECT_EQ(packets_.size(), 2u);
}

TEST_F(FramerTest, WithoutAutoEnableOnePacketThenSilence) {
    dpkt_.SetAutoEnable(false);
    dpkt_.SetEnabled(true);
    Feed(kStx + "a\r" + kStx + "b\r");
    EXPECT_EQ(packets_, (std::vector<std::string>{kStx + "a\r"}));
    EXPECT_FALSE(dpkt_.GetEnabled());
}

TEST_F(FramerTest, EmptyStringsRefuseToArm) {
    dpkt_.SetStartString("");
    try {
        dpkt_.SetEnabled(true);
        FAIL();
    } catch (const EInvalidProperty& e) {
        EXPECT_EQ(e.ErrorCode(), -5501);
        EXPECT_STREQ(e.what(), "Start string is empty");
    }
    EXPECT_FALSE(dpkt_.GetEnabled());
    dpkt_.SetStartString("$");
    dpkt_.SetEndString("");
    dpkt_.SetEndCond(ecString);
    try {
        dpkt_.SetEnabled(true);
        FAIL();
    } catch (const EInvalidProperty& e) {
        EXPECT_EQ(e.ErrorCode(), -5504);
        EXPECT_STREQ(e.what(), "End string is empty");
    }
    // A lone backslash escapes nothing and leaves an empty pattern.
    dpkt_.SetEndString("\\");
    EXPECT_THROW(dpkt_.SetEnabled(true), EInvalidProperty);
}

TEST_F(FramerTest, PacketSizeRules) {
    dpkt_.SetEndCond(ecPacketSize);
    dpkt_.SetStartString("AB");
    dpkt_.SetPacketSize(1);
    try {
        dpkt_.SetEnabled(true);
        FAIL();
    } catch (const EInvalidProperty& e) {
        EXPECT_EQ(e.ErrorCode(), -5502);
    }
    dpkt_.SetPacketSize(4);
    dpkt_.SetEnabled(true);
    Feed("xxABcdABef");
    EXPECT_EQ(packets_, (std::vector<std::string>{"ABcd", "ABef"}));
}

TEST_F(FramerTest, PatternsEscapesWildcardsAndCase) {
    dpkt_.SetStartString("s?\\?");  // "s", any byte, a literal "?"
    dpkt_.SetEndString("eN");
    dpkt_.SetEnabled(true);
    Feed("xxsA!s9?bodyEnd");
    ASSERT_EQ(packets_.size(), 1u);
    EXPECT_EQ(packets_[0], "s9?bodyEn");  // IgnoreCase: "En" matches "eN"
    packets_.clear();
    dpkt_.SetEnabled(false);
    dpkt_.SetIgnoreCase(false);
    dpkt_.SetStartString("S");
    dpkt_.SetEndString("e");
    dpkt_.SetEnabled(true);
    Feed("sxE S body Ee");
    EXPECT_EQ(packets_, (std::vector<std::string>{"S body Ee"}));
}

TEST_F(FramerTest, APartialStartMatchResumesAfterItsFirstByte) {
    dpkt_.SetStartString("aab");
    dpkt_.SetEndString("!");
    dpkt_.SetEnabled(true);
    Feed("aaab!");
    EXPECT_EQ(packets_, (std::vector<std::string>{"aab!"}));
    packets_.clear();
    Feed("a");  // a partial start across chunks keeps its bytes
    Feed("ab-end!");
    EXPECT_EQ(packets_, (std::vector<std::string>{"aab-end!"}));
}

TEST_F(FramerTest, AMultiCharacterEndRealignsAfterAMismatch) {
    dpkt_.SetEndString("\r\n");
    dpkt_.SetEnabled(true);
    Feed(kStx + "x\r\r\n");
    EXPECT_EQ(packets_, (std::vector<std::string>{kStx + "x\r\r\n"}));
}

TEST_F(FramerTest, WithoutEndConditionTheStartIsThePacket) {
    TSerDataPacket bare;
    manager_->Attach(&bare);
    std::vector<std::string> got;
    bare.OnStringPacket = [&](TSerDataPacket*, const std::string& s) { got.push_back(s); };
    bare.SetStartString("OK");
    dpkt_.SetEnabled(false);
    bare.SetEnabled(true);
    Feed("xxOKyyOK");
    EXPECT_EQ(got, (std::vector<std::string>{"OK", "OK"}));
}

TEST_F(FramerTest, IncludeStringsFalseStripsStartAndEnd) {
    dpkt_.SetIncludeStrings(false);
    dpkt_.SetEnabled(true);
    Feed(kStx + "body\r");
    EXPECT_EQ(packets_, (std::vector<std::string>{"body"}));
}

TEST_F(FramerTest, OnPacketComesBeforeOnStringPacketWithTheSameBytes) {
    std::vector<std::string> order;
    dpkt_.OnPacket = [&](TSerDataPacket* sender, const char* data, int size) {
        order.push_back("packet:" + std::string(data, static_cast<std::size_t>(size)));
        EXPECT_EQ(sender->GetCollectedString(), std::string(data, static_cast<std::size_t>(size)));
    };
    dpkt_.OnStringPacket = [&](TSerDataPacket*, const std::string& s) {
        order.push_back("string:" + s);
    };
    dpkt_.SetEnabled(true);
    std::string withNul = kStx + std::string("a\0b", 3) + "\r";
    Feed(withNul);
    EXPECT_EQ(order, (std::vector<std::string>{"packet:" + withNul, "string:" + withNul}));
}

TEST_F(FramerTest, TheCollectionBufferGrowsInSteps) {
    dpkt_.SetEnabled(true);
    Feed(kStx + std::string(10000, 'x'));
    EXPECT_EQ(manager_->BufferCapacity() % 8192, 0u);
    EXPECT_GE(manager_->BufferCapacity(), 10001u);
    Feed("\r");
    ASSERT_EQ(packets_.size(), 1u);
    EXPECT_EQ(packets_[0].size(), 10002u);
}

TEST_F(FramerTest, AHandlerThatDisablesItsFramerIsNotOverruledByAutoEnable) {
    dpkt_.OnStringPacket = [&](TSerDataPacket* sender, const std::string& s) {
        packets_.push_back(s);
        sender->SetEnabled(false);
    };
    dpkt_.SetEnabled(true);
    Feed(kStx + "2\r" + kStx + "3\r");
    EXPECT_EQ(packets_, (std::vector<std::string>{kStx + "2\r"}));
    EXPECT_FALSE(dpkt_.GetEnabled());
    EXPECT_EQ(dpkt_.GetMode(), dpIdle);
}

TEST(Framer, AHandlerMayReArmOrDestroyItsFramer) {
    auto manager = TSerDataPacketManager::CreateStandalone();
    auto framer = std::make_unique<TSerDataPacket>();
    manager->Attach(framer.get());
    framer->SetStartString("#");
    framer->SetEndString("\r");
    framer->SetAutoEnable(false);
    std::vector<std::string> got;
    framer->OnStringPacket = [&](TSerDataPacket* sender, const std::string& s) {
        got.push_back(s);
        if (got.size() == 1) {
            sender->SetEnabled(false);  // what the connection's re-arm does
            sender->SetEnabled(true);
        } else {
            framer.reset();  // destroyed inside its own delivery
        }
    };
    framer->SetEnabled(true);
    const std::string stream = "#1\r#2\r#3\r";
    manager->Feed(stream.data(), stream.size());
    EXPECT_EQ(got, (std::vector<std::string>{"#1\r", "#2\r"}));
    EXPECT_EQ(framer, nullptr);
}

// ---- Over a port ----

class PortFramerTest : public test::UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        ports_.Link(2, pty_.SlavePath());
        port_.SetAutoOpen(false);
        port_.SetComNumber(2);
        port_.SetParity(pEven);
        dpkt_.SetComPort(&port_);
        dpkt_.SetStartString(kStx);
        dpkt_.SetEndString("\r");
        dpkt_.OnStringPacket = [this](TSerDataPacket*, const std::string& s) {
            EXPECT_TRUE(ui_.IsUiThread());
            packets_.push_back(s);
        };
    }
    void TearDown() override {
        port_.SetOpen(false);
        WaitFor([&] { return port_.GetState() == psClosed; });
        UiFixture::TearDown();
    }

    PortsDir ports_;
    PtyLink pty_;
    TSerComPort port_;
    TSerDataPacket dpkt_;
    std::vector<std::string> packets_;
};

TEST_F(PortFramerTest, EnabledBeforeOpenItArmsWhenThePortOpens) {
    dpkt_.SetEnabled(true);
    EXPECT_EQ(dpkt_.GetMode(), dpIdle);
    port_.SetOpen(true);
    EXPECT_EQ(dpkt_.GetMode(), dpWaitStart);
    pty_.Write(kStx + "Q,1.00,M" + kEtx + "00\r\n" + kStx + "Q,2.00,M" + kEtx + "00\r\n");
    ASSERT_TRUE(WaitFor([&] { return packets_.size() == 2; }));
    EXPECT_EQ(packets_[0], kStx + "Q,1.00,M" + kEtx + "00\r");
    EXPECT_EQ(packets_[1], kStx + "Q,2.00,M" + kEtx + "00\r");
    // Closing disarms it but leaves it enabled; reopening arms it again. (The close may wait
    // for the end of the delivery that is still finishing on the dispatch thread.)
    port_.SetOpen(false);
    ASSERT_TRUE(WaitFor([&] { return port_.GetState() == psClosed; }));
    EXPECT_TRUE(dpkt_.GetEnabled());
    EXPECT_EQ(dpkt_.GetMode(), dpIdle);
    port_.SetOpen(true);
    EXPECT_EQ(dpkt_.GetMode(), dpWaitStart);
    pty_.Write(kStx + "again\r");
    ASSERT_TRUE(WaitFor([&] { return packets_.size() == 3; }));
}

TEST_F(PortFramerTest, AStartWithoutEndTimesOutAndTheFramerStaysOff) {
    dpkt_.SetTimeOut(2);  // two ticks of 55 ms
    int timeouts = 0;
    dpkt_.OnTimeout = [&](TSerDataPacket* sender) {
        EXPECT_TRUE(ui_.IsUiThread());
        EXPECT_FALSE(sender->GetEnabled());
        ++timeouts;
    };
    dpkt_.SetEnabled(true);
    port_.SetOpen(true);
    pty_.Write(kStx + "no end");
    ASSERT_TRUE(WaitFor([&] { return timeouts == 1; }));
    EXPECT_FALSE(dpkt_.GetEnabled());
    EXPECT_TRUE(dpkt_.TimedOut());
    pty_.Write("\r" + kStx + "later\r");
    Pump(300);
    EXPECT_TRUE(packets_.empty());
    dpkt_.SetEnabled(true);
    pty_.Write(kStx + "after re-arm\r");
    ASSERT_TRUE(WaitFor([&] { return packets_.size() == 1; }));
    EXPECT_EQ(packets_[0], kStx + "after re-arm\r");
    EXPECT_EQ(timeouts, 1);
}

TEST_F(PortFramerTest, CompletedPacketsStopTheirTimeOut) {
    dpkt_.SetTimeOut(3);
    int timeouts = 0;
    dpkt_.OnTimeout = [&](TSerDataPacket*) { ++timeouts; };
    dpkt_.SetEnabled(true);
    port_.SetOpen(true);
    pty_.Write(kStx + "quick\r");
    ASSERT_TRUE(WaitFor([&] { return packets_.size() == 1; }));
    Pump(400);
    EXPECT_EQ(timeouts, 0);
    EXPECT_TRUE(dpkt_.GetEnabled());
}

TEST_F(PortFramerTest, ReArmingWhileBytesArriveIsSafe) {
    dpkt_.SetEnabled(true);
    port_.SetOpen(true);
    std::atomic<bool> stop{false};
    const std::string message = kStx + "Q,1.23,045.0,M" + kEtx + "1A\r\n";
    std::thread instrument([&] {
        while (!stop) {
            pty_.Write(message);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    // What the connection does: disable, set the strings, enable, while packets keep coming.
    for (int i = 0; i < 300; ++i) {
        dpkt_.SetEnabled(false);
        dpkt_.SetStartString(i % 2 ? "$" : kStx);
        dpkt_.SetStartString(kStx);
        dpkt_.SetEndString("\r");
        dpkt_.SetEnabled(true);
        ui_.ProcessPending();
    }
    ASSERT_TRUE(WaitFor([&] { return packets_.size() > 20; }));
    stop = true;
    instrument.join();
    for (const auto& p : packets_) {
        // A re-arm may cut a packet short at its start, never mix or corrupt one.
        EXPECT_EQ(p.front(), '\x02');
        EXPECT_EQ(p.back(), '\r');
        EXPECT_LE(p.size(), message.size() - 1);
    }
}

TEST_F(PortFramerTest, FramerDestroyedWhileThePortRunsLeavesNoManager) {
    port_.SetOpen(true);
    const std::size_t managers = TSerDataPacketManagerList::Instance().Count();
    {
        TSerDataPacket local;
        local.SetComPort(&port_);
        EXPECT_EQ(TSerDataPacketManagerList::Instance().Count(), managers);  // same port
    }
    dpkt_.SetComPort(nullptr);
    EXPECT_EQ(TSerDataPacketManagerList::Instance().Count(), managers - 1);
    pty_.Write(kStx + "ignored\r");
    Pump(200);
    EXPECT_TRUE(packets_.empty());
}

TEST_F(PortFramerTest, PortDestroyedBeforeItsFramer) {
    auto port = std::make_unique<TSerComPort>();
    port->SetAutoOpen(false);
    port->SetComNumber(2);
    TSerDataPacket framer;
    framer.SetComPort(port.get());
    framer.SetStartString(kStx);
    framer.SetEndString("\r");
    framer.SetEnabled(true);
    dpkt_.SetComPort(nullptr);
    port->SetOpen(true);
    port.reset();
    EXPECT_EQ(framer.GetComPort(), nullptr);
    EXPECT_EQ(framer.GetMode(), dpIdle);
}

// The port may go from inside its framer's handler: the framer is left without port or packet
// (no pointer to the finished delivery), and serves another port as a fresh one.
TEST_F(PortFramerTest, APortDestroyedByItsFramersHandlerLeavesTheFramerClean) {
    dpkt_.SetComPort(nullptr);
    auto port = std::make_unique<TSerComPort>();
    port->SetAutoOpen(false);
    port->SetComNumber(2);
    TSerDataPacket framer;
    framer.SetComPort(port.get());
    framer.SetStartString(kStx);
    framer.SetEndString("\r");
    std::vector<std::string> collected;
    framer.OnStringPacket = [&](TSerDataPacket* sender, const std::string&) {
        collected.push_back(sender->GetCollectedString());
        port.reset();
    };
    framer.SetEnabled(true);
    port->SetOpen(true);
    pty_.Write(kStx + "one\r");
    ASSERT_TRUE(WaitFor([&] { return port == nullptr; }));
    EXPECT_EQ(collected, std::vector<std::string>{kStx + "one\r"});
    EXPECT_EQ(framer.GetComPort(), nullptr);
    EXPECT_EQ(framer.GetMode(), dpIdle);
    EXPECT_EQ(framer.GetCollectedString(), "");

    framer.OnStringPacket = [&](TSerDataPacket* sender, const std::string&) {
        collected.push_back(sender->GetCollectedString());
    };
    framer.SetComPort(&port_);
    framer.SetEnabled(true);
    // The destroyed port's device is released only once its dispatch thread has left the
    // delivery it was waiting in.
    ASSERT_TRUE(WaitFor([&] {
        try {
            port_.SetOpen(true);
            return true;
        } catch (const ESerException&) {
            return false;
        }
    }));
    pty_.Write(kStx + "two\r");
    ASSERT_TRUE(WaitFor([&] { return collected.size() == 2; }));
    EXPECT_EQ(collected[1], kStx + "two\r");
    // AutoEnable as before, once the delivery has ended on the dispatch thread.
    EXPECT_TRUE(WaitFor([&] { return framer.GetEnabled(); }));
}

}  // namespace
}  // namespace vx
