#include "serial/Serexcept.h"
#include "serial/Serpacket.h"
#include "serial/Serport.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace vx {
namespace {

using test::PortsDir;
using test::PtyLink;

class PortTest : public test::UiFixture {
protected:
    void SetUp() override {
        UiFixture::SetUp();
        ports_.Link(3, pty_.SlavePath());
        port_.SetAutoOpen(false);
        port_.SetComNumber(3);
    }
    void TearDown() override {
        port_.SetOpen(false);
        WaitFor([&] { return port_.GetState() == psClosed; });
        UiFixture::TearDown();
    }

    template <class E>
    int CodeOf(const std::function<void()>& fn) {
        try {
            fn();
        } catch (const E& e) {
            return e.ErrorCode();
        }
        return 0;
    }

    PortsDir ports_;
    PtyLink pty_;
    TSerComPort port_;
};

TEST_F(PortTest, DefaultsAreThoseOfTheComponent) {
    TSerComPort fresh;
    EXPECT_EQ(fresh.GetComNumber(), 0u);
    EXPECT_EQ(fresh.GetBaud(), 19200);
    EXPECT_EQ(fresh.GetParity(), pNone);
    EXPECT_EQ(fresh.GetDataBits(), 8u);
    EXPECT_EQ(fresh.GetStopBits(), 1u);
    EXPECT_EQ(fresh.GetInSize(), 4096u);
    EXPECT_EQ(fresh.GetOutSize(), 4096u);
    EXPECT_TRUE(fresh.GetAutoOpen());
    EXPECT_FALSE(fresh.GetOpen());
    EXPECT_TRUE(fresh.GetDTR());
    EXPECT_TRUE(fresh.GetRTS());
    EXPECT_TRUE(fresh.GetPromptForPort());
    EXPECT_EQ(fresh.GetXOnChar(), 17);
    EXPECT_EQ(fresh.GetXOffChar(), 19);
    EXPECT_EQ(fresh.GetTriggerLength(), 1u);
    EXPECT_EQ(fresh.GetState(), psClosed);
    EXPECT_EQ(ComName(7), "COM7");
    EXPECT_EQ(ComName(12), "COM12");
    EXPECT_FALSE(IsPortAvailable(0));
}

TEST_F(PortTest, OpenAndCloseManyTimesLeavesNothingBehind) {
    // One open and close first, so lazily created process-wide things exist before counting.
    port_.SetOpen(true);
    port_.SetOpen(false);
    const int fds = test::OpenFdCount();
    const int threads = test::ThreadCount();
    const int slots = PortListSize();
    for (int i = 0; i < 200; ++i) {
        port_.SetOpen(true);
        ASSERT_TRUE(port_.GetOpen());
        ASSERT_EQ(port_.GetState(), psOpen);
        port_.SetOpen(false);
        ASSERT_EQ(port_.GetState(), psClosed);
    }
    EXPECT_EQ(test::OpenFdCount(), fds);
    EXPECT_EQ(test::ThreadCount(), threads);
    EXPECT_EQ(PortListSize(), slots);
}

TEST_F(PortTest, SlotsOfThePortListAreReused) {
    TSerComPort other;
    other.SetAutoOpen(false);
    PtyLink pty2;
    ports_.Link(4, pty2.SlavePath());
    other.SetComNumber(4);
    port_.SetOpen(true);
    other.SetOpen(true);
    const int size = PortListSize();
    port_.SetOpen(false);
    EXPECT_EQ(PortListSize(), size);  // a hole in the middle stays
    port_.SetOpen(true);
    EXPECT_EQ(PortListSize(), size);  // and is taken again
    other.SetOpen(false);
    port_.SetOpen(false);
    EXPECT_LT(PortListSize(), size);  // empty slots at the end are removed
}

TEST_F(PortTest, OpeningAHeldPortFailsAsAlreadyOpenButItIsListed) {
    port_.SetOpen(true);
    TSerComPort second;
    second.SetAutoOpen(false);
    second.SetComNumber(3);
    try {
        second.SetOpen(true);
        FAIL() << "second open succeeded";
    } catch (const EAlreadyOpen& e) {
        EXPECT_EQ(e.ErrorCode(), -2008);
        EXPECT_STREQ(e.what(), "ie_Open - device already open");
    }
    EXPECT_FALSE(second.GetOpen());
    EXPECT_EQ(second.GetState(), psClosed);
    EXPECT_EQ(second.GetDispatcher(), nullptr);
    EXPECT_TRUE(IsPortAvailable(3));
}

TEST_F(PortTest, OpeningAMissingDeviceFailsWithBadId) {
    ports_.Link(9, "/dev/nonexistent-ventrix-port");
    port_.SetComNumber(9);
    try {
        port_.SetOpen(true);
        FAIL();
    } catch (const EBadId& e) {
        EXPECT_EQ(e.ErrorCode(), -2001);
        EXPECT_STREQ(e.what(), "ie_BadId - Specified comport doesn't exist");
    }
    EXPECT_FALSE(port_.GetOpen());
    EXPECT_FALSE(IsPortAvailable(9));
    EXPECT_TRUE(IsPortAvailable(3));
}

TEST_F(PortTest, NumberZeroWithoutPromptFailsWithNoPortSelected) {
    port_.SetComNumber(0);
    port_.SetPromptForPort(false);
    EXPECT_EQ(CodeOf<ENoPortSelected>([&] { port_.SetOpen(true); }), -2011);
}

TEST_F(PortTest, PortSelectionChoosesAmongAvailablePorts) {
    port_.SetComNumber(0);
    std::vector<int> offered;
    auto previous = SetPortSelectionHook([&](const std::vector<int>& available) {
        offered = available;
        return 3;
    });
    port_.SetOpen(true);
    EXPECT_TRUE(port_.GetOpen());
    EXPECT_EQ(port_.GetComNumber(), 3u);
    EXPECT_NE(std::find(offered.begin(), offered.end(), 3), offered.end());
    port_.SetOpen(false);
    port_.SetComNumber(0);
    SetPortSelectionHook([](const std::vector<int>&) { return 0; });  // Cancel
    EXPECT_EQ(CodeOf<ENoPortSelected>([&] { port_.SetOpen(true); }), -2011);
    SetPortSelectionHook(previous);
}

TEST_F(PortTest, SetOpenToTheCurrentValueDoesNothing) {
    port_.SetOpen(false);
    EXPECT_EQ(port_.GetState(), psClosed);
    port_.SetOpen(true);
    TSerBaseDispatcher* dispatcher = port_.GetDispatcher();
    port_.SetOpen(true);
    EXPECT_EQ(port_.GetDispatcher(), dispatcher);
}

TEST_F(PortTest, LineSettingsReachTheDeviceAndUnchangedOnesWriteNothing) {
    port_.SetBaud(9600);  // closed: only stored
    EXPECT_EQ(port_.GetDispatcher(), nullptr);
    port_.SetOpen(true);
    EXPECT_EQ(pty_.SlaveSpeed(), B9600);
    port_.SetBaud(38400);
    EXPECT_EQ(pty_.SlaveSpeed(), B38400);

    // Someone changes the line behind the port's back; setting what the port believes the
    // device has writes nothing, so the change stays.
    pty_.SetSlaveSpeed(B2400);
    const int writes = port_.GetDispatcher()->LineWrites();
    port_.SetBaud(38400);
    port_.SetParity(pNone);
    port_.SetDataBits(8);
    port_.SetStopBits(1);
    EXPECT_EQ(pty_.SlaveSpeed(), B2400);
    EXPECT_EQ(port_.GetDispatcher()->LineWrites(), writes);

    port_.SetParity(pEven);  // a real change writes the whole line again
    EXPECT_EQ(port_.GetDispatcher()->LineWrites(), writes + 1);
    EXPECT_EQ(pty_.SlaveSpeed(), B38400);
    EXPECT_EQ(port_.GetDispatcher()->CurrentLine().parity, LineParity::Even);
}

TEST_F(PortTest, ChangingTheNumberOfAnOpenPortReopensIt) {
    PtyLink pty2;
    ports_.Link(4, pty2.SlavePath());
    port_.SetBaud(4800);
    port_.SetOpen(true);
    port_.SetComNumber(4);
    EXPECT_TRUE(port_.GetOpen());
    EXPECT_EQ(port_.DevicePath(), ports_.Path() + "/COM4");
    EXPECT_EQ(pty2.SlaveSpeed(), B4800);
    // The first device is free again.
    EXPECT_TRUE(IsPortAvailable(3));
    TSerComPort other;
    other.SetAutoOpen(false);
    other.SetComNumber(3);
    EXPECT_NO_THROW(other.SetOpen(true));
}

TEST_F(PortTest, PutCharSendsInOrder) {
    port_.SetOpen(true);
    for (char c : std::string("Q\r$$")) {
        port_.PutChar(c);
    }
    EXPECT_EQ(pty_.Read(4), "Q\r$$");
}

TEST_F(PortTest, PutCharAndFlushOnAClosedPortFailWithNotOpen) {
    EXPECT_EQ(CodeOf<ECommNotOpen>([&] { port_.PutChar('Q'); }), -2007);
    EXPECT_EQ(CodeOf<ECommNotOpen>([&] { port_.FlushInBuffer(); }), -2007);
    EXPECT_THROW(port_.ValidDispatcher(), ECommNotOpen);
}

TEST_F(PortTest, PutCharOpensThePortWhenAutoOpenAllows) {
    port_.SetAutoOpen(true);
    port_.PutChar('Q');
    EXPECT_TRUE(port_.GetOpen());
    EXPECT_EQ(pty_.Read(1), "Q");
}

TEST_F(PortTest, PutCharWithAFullOutputRingFailsAndQueuesNothing) {
    constexpr int kOutSize = 4096;
    port_.SetOutSize(kOutSize);
    port_.SetOpen(true);
    TSerBaseDispatcher* dispatcher = port_.GetDispatcher();
    // Nobody reads the master: the pseudo-terminal's buffer fills, the output thread's write
    // waits, and the port's own ring fills up behind it and stays full. (A ring that is full
    // only because the output thread is slow empties again; keep going until it stays full.)
    bool stuck = false;
    for (int round = 0; round < 2000 && !stuck; ++round) {
        int code = 0;
        for (int i = 0; i < 1000000 && code == 0; ++i) {
            code = CodeOf<EOutputBufferTooSmall>([&] { port_.PutChar('x'); });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stuck = code == -3006 && dispatcher->OutBuffUsed() == kOutSize;
    }
    ASSERT_TRUE(stuck);
    try {
        port_.PutChar('y');
        FAIL() << "PutChar into a full ring succeeded";
    } catch (const EOutputBufferTooSmall& e) {
        EXPECT_EQ(e.ErrorCode(), -3006);
        EXPECT_STREQ(e.what(), "Output buffer too small for block");
    }
    EXPECT_EQ(dispatcher->OutBuffUsed(), kOutSize);
    // Closing abandons the blocked write promptly.
    port_.SetOpen(false);
    EXPECT_EQ(port_.GetState(), psClosed);
}

TEST_F(PortTest, FlushInBufferDiscardsWhatWasNotHandedOn) {
    port_.SetOpen(true);
    pty_.Write("old bytes");
    TSerBaseDispatcher* dispatcher = port_.GetDispatcher();
    ASSERT_TRUE(WaitFor([&] { return dispatcher->InBuffUsed() == 9; }));
    port_.FlushInBuffer();
    EXPECT_EQ(dispatcher->InBuffUsed(), 0);
    pty_.Write("new");
    ASSERT_TRUE(WaitFor([&] { return dispatcher->InBuffUsed() == 3; }));
    char buf[3];
    ASSERT_EQ(dispatcher->GetBlock(buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "new");
}

TEST_F(PortTest, DtrOnAPortWithoutModemLinesIsStoredWithoutError) {
    port_.SetDTR(false);  // closed: stored for the next open
    EXPECT_FALSE(port_.GetDTR());
    port_.SetOpen(true);
    EXPECT_NO_THROW(port_.SetDTR(true));
    EXPECT_TRUE(port_.GetDTR());
    EXPECT_FALSE(port_.GetDispatcher()->HasModemLines());
}

struct CallbackLog {
    std::vector<std::pair<int, TSerCallbackType>> calls;
};

void LogCallbackA(void* owner, TSerCustomComPort*, TSerCallbackType type) {
    static_cast<CallbackLog*>(owner)->calls.emplace_back(1, type);
}
void LogCallbackB(void* owner, TSerCustomComPort*, TSerCallbackType type) {
    static_cast<CallbackLog*>(owner)->calls.emplace_back(2, type);
}

TEST_F(PortTest, UsersAreToldOfOpenAndCloseLastRegisteredFirst) {
    CallbackLog log;
    port_.RegisterUserCallbackEx(&LogCallbackA, &log);
    port_.RegisterUserCallbackEx(&LogCallbackB, &log);
    std::vector<std::string> events;
    port_.OnPortOpen = [&](TSerCustomComPort*) { events.push_back("open"); };
    port_.OnPortClose = [&](TSerCustomComPort*) { events.push_back("close"); };
    port_.SetOpen(true);
    port_.SetOpen(false);
    using P = std::pair<int, TSerCallbackType>;
    EXPECT_EQ(log.calls, (std::vector<P>{P{2, ctOpen}, P{1, ctOpen}, P{2, ctClosing},
                                         P{1, ctClosing}, P{2, ctClosed}, P{1, ctClosed}}));
    EXPECT_EQ(events, (std::vector<std::string>{"open", "close"}));
    port_.DeregisterUserCallbackEx(&LogCallbackB, &log);
    log.calls.clear();
    port_.SetOpen(true);
    EXPECT_EQ(log.calls, (std::vector<P>{P{1, ctOpen}}));
    port_.DeregisterUserCallbackEx(&LogCallbackA, &log);
    port_.OnPortOpen = nullptr;
    port_.OnPortClose = nullptr;
}

TEST_F(PortTest, CloseDuringAPacketDeliveryIsDeferredAndCompletes) {
    const int threadsBefore = test::ThreadCount();
    TSerDataPacket dpkt;
    dpkt.SetComPort(&port_);
    dpkt.SetStartString("\x02");
    dpkt.SetEndString("\r");
    bool insideSawShuttingDown = false;
    bool insideOpenStillTrue = false;
    int delivered = 0;
    dpkt.OnStringPacket = [&](TSerDataPacket*, const std::string&) {
        ++delivered;
        port_.SetOpen(false);
        insideSawShuttingDown = port_.GetState() == psShuttingDown;
        insideOpenStillTrue = port_.GetOpen();
        // Neither direction does anything meanwhile, nor do sends and flushes.
        port_.SetOpen(true);
        port_.SetOpen(false);
        port_.PutChar('Q');
        port_.FlushInBuffer();
    };
    dpkt.SetEnabled(true);
    port_.SetOpen(true);
    pty_.Write("\x02one\r\x02two\r");
    ASSERT_TRUE(WaitFor([&] { return delivered > 0; }));
    EXPECT_TRUE(insideSawShuttingDown);
    EXPECT_TRUE(insideOpenStillTrue);
    ASSERT_TRUE(WaitFor([&] { return port_.GetState() == psClosed; }));
    EXPECT_FALSE(port_.GetOpen());
    EXPECT_EQ(port_.GetDispatcher(), nullptr);
    EXPECT_EQ(delivered, 1);
    EXPECT_TRUE(WaitFor([&] { return test::ThreadCount() == threadsBefore; }));
    // The port opens again normally.
    port_.SetOpen(true);
    EXPECT_EQ(port_.GetState(), psOpen);
}

TEST_F(PortTest, VanishedDeviceNeitherSpinsNorHangsAndThePortStillCloses) {
    TSerDataPacket dpkt;
    dpkt.SetComPort(&port_);
    dpkt.SetStartString("\x02");
    dpkt.SetEndString("\r");
    int delivered = 0;
    dpkt.OnStringPacket = [&](TSerDataPacket*, const std::string&) { ++delivered; };
    dpkt.SetEnabled(true);
    port_.SetOpen(true);
    pty_.Write(
        "\x02"
        "a\r\x02"
        "b\r\x02"
        "partial");
    ASSERT_TRUE(WaitFor([&] { return delivered == 2; }));
    pty_.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return port_.DeviceLost(); }));
    const double cpuBefore = test::CpuMs();
    Pump(600);
    // A spinning thread would burn most of the 600 ms.
    EXPECT_LT(test::CpuMs() - cpuBefore, 250.0);
    port_.PutChar('Q');  // dropped, not an error
    port_.SetOpen(false);
    EXPECT_EQ(port_.GetState(), psClosed);
    EXPECT_EQ(delivered, 2);
}

TEST_F(PortTest, ALostDeviceIsToldOnceOnTheUserInterfaceThreadAndANewOneOpensUnderTheSameNumber) {
    int lost = 0;
    bool onUiThread = false;
    port_.OnDeviceLost = [&](TSerCustomComPort* sender) {
        ++lost;
        onUiThread = ui_.IsUiThread() && sender == &port_;
    };
    const int fds = test::OpenFdCount();
    const int threads = test::ThreadCount();
    port_.SetOpen(true);
    pty_.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return lost == 1; }));
    EXPECT_TRUE(onUiThread);
    Pump(300);
    EXPECT_EQ(lost, 1);
    port_.SetOpen(false);
    EXPECT_TRUE(WaitFor([&] { return test::ThreadCount() == threads; }));
    EXPECT_EQ(test::OpenFdCount(), fds - 1);  // the master closed by the test is gone too

    // The same number, re-resolved through the ports folder, finds the device that came back.
    PtyLink back;
    ports_.Link(3, back.SlavePath());
    port_.SetOpen(true);
    EXPECT_EQ(port_.DevicePath(), ports_.Path() + "/COM3");
    port_.PutChar('Q');
    EXPECT_EQ(back.Read(1), "Q");
    EXPECT_FALSE(port_.DeviceLost());
    back.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return lost == 2; }));
}

TEST_F(PortTest, ALossNoticeForAnEarlierOpenIsDropped) {
    int lost = 0;
    port_.OnDeviceLost = [&](TSerCustomComPort*) { ++lost; };
    port_.SetOpen(true);
    pty_.CloseMaster();
    // Waited for without handling the user-interface thread's events, so the notice stays queued.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!port_.DeviceLost() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(port_.DeviceLost());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // Closed before the notice was handled: it must not reach the owner any more.
    port_.SetOpen(false);
    Pump(300);
    EXPECT_EQ(lost, 0);
}

TEST_F(PortTest, DestroyingAnOpenPortClosesIt) {
    const int fds = test::OpenFdCount();
    {
        TSerComPort local;
        local.SetAutoOpen(false);
        PtyLink pty2;
        ports_.Link(4, pty2.SlavePath());
        local.SetComNumber(4);
        local.SetOpen(true);
    }
    EXPECT_EQ(test::OpenFdCount(), fds);
}

}  // namespace
}  // namespace vx
