// Connection windows destroyed with their ports still busy: several simulated instruments at
// 100 Hz, some windows closed a moment before (their ports half-way through closing, the close
// deferred behind a delivery), and the whole frame deleted in one go, as the program does when it
// ends. Nothing else may run on the user-interface thread meanwhile, and every port's threads end.

#include "connection/Anemometer.h"
#include "tests/connection/ConnectionTestSupport.h"
#include "tests/support/DefaultConnectionHost.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace vx {
namespace {

using conntest::BoxRecorder;
using conntest::SimChild;
using conntest::WaitFor;

constexpr int kInstruments = 6;
constexpr int kFirstPort = 31;
using conntest::kGenerousMs;

// Waits without handling the user-interface thread's events, as a busy thread would.
bool WaitQuietly(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class ConnectionTeardown : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < kInstruments; ++i) {
            sims_.push_back(std::make_unique<SimChild>(
                folder_, kFirstPort + i,
                QStringList{QStringLiteral("--rate"), QStringLiteral("100"),
                            QStringLiteral("--baud"), QStringLiteral("38400")}));
            ASSERT_TRUE(sims_.back()->Ready()) << sims_.back()->Banner().toStdString();
        }
    }

    // A frame of connection windows, each connected to its instrument and receiving.
    std::unique_ptr<QMdiArea> ConnectAll(std::vector<Tchild*>& children) {
        auto frame = std::make_unique<QMdiArea>();
        frame->resize(1000, 800);
        frame->show();
        for (int i = 0; i < kInstruments; ++i) {
            auto* child = new Tchild(host_);
            frame->addSubWindow(child)->show();
            child->Connect(kFirstPort + i, 38400, "IUVN", "VARN_UV_TWO_AXIS",
                           "Mast " + std::to_string(i + 1), 'N');
            EXPECT_EQ(child->StatusText(1), "Detecting Output Rate...");
            children.push_back(child);
        }
        EXPECT_TRUE(WaitFor(
            [&] {
                for (Tchild* child : children) {
                    if (child->Wind().GoodMessages() < 20) {
                        return false;
                    }
                }
                return true;
            },
            kGenerousMs));
        return frame;
    }

    // Settles the window at once (two ticks of its rate timer), then closes it at a moment when
    // its port is handing a message over: the port's close is deferred behind that delivery.
    static void CloseWhileDelivering(Tchild& child) {
        child.tmrOutputRateTimer();
        child.tmrOutputRateTimer();
        ASSERT_TRUE(child.Settled());
        TSerBaseDispatcher* dispatcher = child.SerComPort1().GetDispatcher();
        ASSERT_NE(dispatcher, nullptr);
        ASSERT_TRUE(WaitQuietly([&] { return dispatcher->EventBusy(); }));
        child.close();
    }

    conntest::PortsFolder folder_;
    std::vector<std::unique_ptr<SimChild>> sims_;
    DefaultConnectionHost host_;
    BoxRecorder boxes_{MessageResult::Yes};
};

TEST_F(ConnectionTeardown, WindowsGoWithTheirPortsBusyOrHalfWayThroughClosing) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round + 1));
        std::vector<Tchild*> children;
        std::unique_ptr<QMdiArea> frame = ConnectAll(children);
        ASSERT_EQ(static_cast<int>(children.size()), kInstruments);
        int halfClosed = 0;
        for (int i = 0; i < kInstruments; i += 2) {
            CloseWhileDelivering(*children[static_cast<std::size_t>(i)]);
            halfClosed +=
                children[static_cast<std::size_t>(i)]->SerComPort1().GetState() == psShuttingDown
                    ? 1
                    : 0;
        }
        // The point of the test: some ports are still shutting down as their windows go.
        EXPECT_GT(halfClosed, 0);
        bool unrelatedRan = false;
        QTimer::singleShot(0, [&unrelatedRan] { unrelatedRan = true; });
        frame.reset();
        EXPECT_FALSE(unrelatedRan) << "events were handled while the windows were destroyed";
        EXPECT_TRUE(WaitFor([&] { return unrelatedRan; }, kGenerousMs));
        // A dispatcher leaves the port list only once its threads have been joined.
        EXPECT_TRUE(WaitFor([] { return PortListSize() == 0; }, kGenerousMs));
    }
}

}  // namespace
}  // namespace vx
