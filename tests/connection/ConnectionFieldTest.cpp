// A connection in the field: an instrument that falls quiet, a device unplugged and plugged back
// (the real ventrix-sim with --silence-after and --vanish-after, then a new simulator under the
// same COM number), a unit that only answers polls, and many losses in a row on pseudo-terminals
// the test closes itself. These take real seconds: detection and the output rate are measured
// again after every return.

#include "connection/Anemometer.h"
#include "tests/connection/ConnectionTestSupport.h"
#include "tests/serial/SerialTestSupport.h"
#include "tests/support/DefaultConnectionHost.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThreadPool>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

namespace vx {
namespace {

using conntest::BoxRecorder;
using conntest::Pump;
using conntest::SimChild;
using conntest::StxMessage;
using conntest::TestLine;
using conntest::WaitFor;

using conntest::kGenerousMs;
using conntest::kUvLetters;
using conntest::kUvName;

// The states the connection told its host, in order.
class RecordingHost : public DefaultConnectionHost {
public:
    void LinkStateChanged(const std::string& connectionName, LinkState state) override {
        names.push_back(connectionName);
        states.push_back(state);
    }
    std::vector<std::string> names;
    std::vector<LinkState> states;
};

// Lines in every log file of the folder.
int LogLines(const std::string& folder) {
    int lines = 0;
    for (const QString& name :
         QDir(QString::fromStdString(folder)).entryList({QStringLiteral("Log*")}, QDir::Files)) {
        std::ifstream in(folder + "/" + name.toStdString());
        for (std::string line; std::getline(in, line);) {
            ++lines;
        }
    }
    return lines;
}

class ConnectionField : public ::testing::Test {
protected:
    std::unique_ptr<Tchild> MakeChild() {
        auto child = std::make_unique<Tchild>(host_);
        child->show();
        child->SetUnits(0);
        return child;
    }

    static AlarmSettings NoDataAfter(double seconds) {
        AlarmSettings settings;
        settings.NoDataAlarmOn = true;
        settings.NoDataSeconds = seconds;
        return settings;
    }

    conntest::PortsFolder folder_;
    RecordingHost host_;
    BoxRecorder boxes_{MessageResult::Yes};
};

TEST_F(ConnectionField, QuietThenUnpluggedThenBackUnderTheSameNumber) {
    // Talking, quiet from 14 s to 18 s, talking again, and unplugged at 20 s.
    QElapsedTimer simClock;
    simClock.start();
    auto sim =
        std::make_unique<SimChild>(folder_, 14,
                                   QStringList{"--rate", "10", "--silence-after", "14",
                                               "--silence-for", "4", "--vanish-after", "20"});
    ASSERT_TRUE(sim->Ready()) << sim->Banner().toStdString();
    const std::string firstDevice = sim->Device();
    auto child = MakeChild();
    child->SetAveraging(2);
    child->Connect(14, 9600, kUvLetters, kUvName, "Mast", 'N');
    child->StartLogging(folder_.Path() + "/Log.txt");
    ASSERT_TRUE(WaitFor([&] { return child->Settled(); }, kGenerousMs));
    EXPECT_EQ(child->StatusText(1), "Output Rate: 10 Hz");
    EXPECT_EQ(child->CurrentLinkState(), LinkState::Online);
    child->SetAlarmSettings(NoDataAfter(2));

    // Quiet: the age of the data is shown, the values turn grey, the no-data alarm fires.
    ASSERT_TRUE(
        WaitFor([&] { return child->StatusText(1).startsWith("No data for "); }, kGenerousMs));
    EXPECT_EQ(child->CurrentLinkState(), LinkState::NoData);
    EXPECT_TRUE(child->ValuesStale());
    EXPECT_FALSE(child->PortLost());
    EXPECT_TRUE(WaitFor([&] { return host_.noDataAlarms.size() == 1; }, 5000));
    const int storedBeforeGap = child->Wind().Statistics().AveragingRing().Count();
    EXPECT_GT(storedBeforeGap, 20);

    // Talking again: back to the rate, black values, and the averages start after the gap.
    ASSERT_TRUE(
        WaitFor([&] { return child->CurrentLinkState() == LinkState::Online; }, kGenerousMs));
    const int storedAfterGap = child->Wind().Statistics().AveragingRing().Count();
    EXPECT_GE(storedAfterGap, 1);
    EXPECT_LT(storedAfterGap, 10);
    EXPECT_EQ(child->StatusText(1), "Output Rate: 10 Hz");
    EXPECT_FALSE(child->ValuesStale());
    child->SetAlarmSettings(NoDataAfter(2));  // the user resets the alarm
    EXPECT_FALSE(child->Alarms().AlarmLatched());

    // Unplugged: said within a moment, the device named; the port and its threads are let go.
    ASSERT_TRUE(WaitFor([&] { return child->PortLost(); }, kGenerousMs));
    const double lossSeenAt = simClock.elapsed() / 1000.0;
    EXPECT_EQ(child->StatusText(1).toStdString(),
              "Port lost: " + firstDevice + ", waiting for it to return");
    EXPECT_EQ(child->CurrentLinkState(), LinkState::PortLost);
    EXPECT_EQ(host_.states.back(), LinkState::PortLost);
    EXPECT_EQ(host_.names.back(), "Mast");
    EXPECT_TRUE(child->ValuesStale());
    EXPECT_FALSE(child->SerComPort1().GetOpen());
    EXPECT_EQ(child->Wind().Statistics().AveragingRing().Count(), 0);
    EXPECT_TRUE(child->Logging());
    // A lost port is as quiet as an instrument that stopped.
    EXPECT_TRUE(WaitFor([&] { return host_.noDataAlarms.size() == 2; }, 5000));
    const int linesWhileLost = LogLines(folder_.Path());
    ASSERT_TRUE(WaitFor([&] { return !sim->Running(); }, kGenerousMs));
    Pump(1500);  // the link is tried every second meanwhile: nothing is there
    EXPECT_TRUE(child->PortLost());
    EXPECT_EQ(LogLines(folder_.Path()), linesWhileLost);

    // Plugged back: a new device behind the same number.
    sim.reset();
    QElapsedTimer sinceBack;
    auto back = std::make_unique<SimChild>(folder_, 14, QStringList{"--rate", "10"});
    ASSERT_TRUE(back->Ready()) << back->Banner().toStdString();
    sinceBack.start();
    ASSERT_TRUE(WaitFor([&] { return !child->PortLost(); }, kGenerousMs));
    const double returnSeconds = sinceBack.elapsed() / 1000.0;
    EXPECT_TRUE(child->SerComPort1().GetOpen());
    // Detection runs again: its polls and its texts, then the rate.
    ASSERT_TRUE(
        WaitFor([&] { return child->StatusText(1) == "Detecting Output Rate..."; }, kGenerousMs));
    ASSERT_TRUE(
        WaitFor([&] { return child->CurrentLinkState() == LinkState::Online; }, kGenerousMs));
    EXPECT_FALSE(child->ValuesStale());
    // Logging goes on as it did.
    EXPECT_TRUE(
        WaitFor([&] { return LogLines(folder_.Path()) > linesWhileLost + 10; }, kGenerousMs));
    ASSERT_TRUE(WaitFor([&] { return child->StatusText(1) == "Output Rate: 10 Hz"; }, kGenerousMs));
    EXPECT_EQ(boxes_.Count(), 0);
    child->StopLogging();
    std::printf(
        "loss seen %.2f s after the simulator's start (it vanished at 20 s); "
        "back %.2f s after the new device was ready\n",
        lossSeenAt, returnSeconds);
}

TEST_F(ConnectionField, FiftyLossesAndReturnsLeaveNoDescriptorOrThreadBehind) {
    auto line = std::make_unique<TestLine>(folder_, 15);
    QTimer instrument;
    instrument.setInterval(50);
    QObject::connect(&instrument, &QTimer::timeout,
                     [&line] { line->Write(StxMessage("Q,+001.00,-002.00,M,00")); });
    instrument.start();
    auto child = MakeChild();
    child->Connect(15, 9600, kUvLetters, kUvName, "Buoy", 'N');
    // The toolkit paints some things (the data page's scroll bar) with worker threads of its
    // own, started on first use: start them now and keep them, so only ours are counted.
    QThreadPool::globalInstance()->setExpiryTimeout(-1);
    for (int i = 0; i < 100; ++i) {
        child->AddDataLine(QStringLiteral("line"));
    }
    child->FlushDataLines();
    child->grab();
    QThreadPool::globalInstance()->waitForDone();
    // The product looks once a second; the test looks more often to keep its run short.
    auto* watch = child->findChild<QTimer*>(QStringLiteral("tmrLinkWatch"));
    ASSERT_NE(watch, nullptr);
    watch->setInterval(50);

    // Driven from a timer: after each return the connection detects again inside a nested wait,
    // and the test must act from within that wait as the instrument would.
    constexpr int kWarmUp = 2;
    constexpr int kCycles = 50;
    int cycles = 0;
    long long heardAtReturn = -1;
    int fds = 0;
    int threads = 0;
    int fdsAfter = 0;
    int threadsAfter = 0;
    QTimer tester;
    tester.setInterval(10);
    QObject::connect(&tester, &QTimer::timeout, [&] {
        if (child->PortLost()) {
            if (!line->IsOpen()) {
                line = std::make_unique<TestLine>(folder_, 15);  // plugged back
            }
            heardAtReturn = -1;
            return;
        }
        if (heardAtReturn < 0) {
            heardAtReturn = child->Watch().MessageCount();
            return;
        }
        if (child->Watch().MessageCount() <= heardAtReturn || cycles == kWarmUp + kCycles) {
            return;  // not heard since the return yet, or done
        }
        if (cycles == kWarmUp) {
            fds = test::OpenFdCount();
            threads = test::ThreadCount();
        }
        ++cycles;
        if (cycles == kWarmUp + kCycles) {
            fdsAfter = test::OpenFdCount();
            threadsAfter = test::ThreadCount();
            return;
        }
        line->Close();  // unplugged
    });
    tester.start();
    ASSERT_TRUE(WaitFor([&] { return cycles == kWarmUp + kCycles; }, 120000)) << cycles;
    tester.stop();
    EXPECT_EQ(fdsAfter, fds);
    EXPECT_EQ(threadsAfter, threads);
    EXPECT_EQ(child->CurrentLinkState(), LinkState::Online);
    EXPECT_EQ(boxes_.Count(), 0);
}

TEST_F(ConnectionField, AUnitThatOnlyAnswersPollsIsToldApart) {
    SimChild sim(folder_, 16, {"--polled"});
    ASSERT_TRUE(sim.Ready()) << sim.Banner().toStdString();
    auto child = MakeChild();
    child->Connect(16, 9600, kUvLetters, kUvName, "Polled", 'N');
    ASSERT_TRUE(WaitFor([&] { return child->Settled(); }, kGenerousMs));
    EXPECT_TRUE(child->PolledMode());
    EXPECT_EQ(child->StatusText(1), "Unit answers polls only: switch it to continuous output");
    EXPECT_EQ(boxes_.Count(), 0);
}

// A station started before its adapter was found (the command line's connections): the window
// waits as for a lost device, says the port is not there, and connects when it appears.
TEST_F(ConnectionField, APortNotThereAtStartIsWaitedForAndConnectsWhenItAppears) {
    const std::string missing = folder_.Path() + "/not-plugged-in";
    folder_.Link(17, missing);
    auto child = MakeChild();
    std::string reason;
    EXPECT_FALSE(child->ConnectOrWait(17, 9600, kUvLetters, kUvName, "Late", 'N', reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(child->StatusText(1).toStdString(),
              "Port not found: " + missing + ", waiting for it");
    EXPECT_EQ(child->CurrentLinkState(), LinkState::PortLost);
    EXPECT_EQ(child->windowTitle(), "Late");
    EXPECT_FALSE(child->SerComPort1().GetOpen());
    EXPECT_EQ(boxes_.Count(), 0);
    Pump(1500);  // tried once a second meanwhile, and quietly
    EXPECT_TRUE(child->PortLost());
    EXPECT_EQ(boxes_.Count(), 0);

    SimChild sim(folder_, 17, {"--rate", "10"});  // replaces the dangling link
    ASSERT_TRUE(sim.Ready()) << sim.Banner().toStdString();
    // The first open detects the instrument, its output rate measured over seconds: the waits
    // below return once that nested wait has ended, so they are as generous as a loaded machine
    // needs.
    ASSERT_TRUE(
        WaitFor([&] { return child->CurrentLinkState() == LinkState::Online; }, 2 * kGenerousMs));
    EXPECT_TRUE(child->SerComPort1().GetOpen());
    ASSERT_TRUE(
        WaitFor([&] { return child->StatusText(1) == "Output Rate: 10 Hz"; }, 2 * kGenerousMs))
        << child->StatusText(1).toStdString();
    EXPECT_EQ(host_.names.back(), "Late");
    EXPECT_EQ(boxes_.Count(), 0);
}

}  // namespace
}  // namespace vx
