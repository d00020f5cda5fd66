// Whole connections over pseudo-terminals: to the real ventrix-sim, or to a line the test
// writes itself when it must see exactly what the program sent. These take real seconds
// (detection polls for up to 10 s, the output rate is measured over 10 s).

#include "connection/Anemometer.h"
#include "serial/Serexcept.h"
#include "serial/UiThread.h"
#include "tests/connection/ConnectionTestSupport.h"
#include "tests/support/DefaultConnectionHost.h"

#include <QComboBox>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>

namespace vx {
namespace {

using conntest::BoxRecorder;
using conntest::DataOf;
using conntest::GraphOf;
using conntest::Pump;
using conntest::SimChild;
using conntest::SimLogSlots;
using conntest::StxMessage;
using conntest::TestLine;
using conntest::WaitFor;

using conntest::kGenerousMs;
using conntest::kUvLetters;
using conntest::kUvName;

class ConnectionLink : public ::testing::Test {
protected:
    std::unique_ptr<Tchild> MakeChild() {
        auto child = std::make_unique<Tchild>(host_);
        child->show();
        return child;
    }

    conntest::PortsFolder folder_;
    DefaultConnectionHost host_;
    BoxRecorder boxes_{MessageResult::Yes};
};

TEST_F(ConnectionLink, AnInstrumentAlreadySendingIsHeardWithoutAPoll) {
    TestLine line(folder_, 21);
    QTimer instrument;
    instrument.setInterval(250);
    QObject::connect(&instrument, &QTimer::timeout,
                     [&line] { line.Write(StxMessage("Q,+001.00,-002.00,M,00")); });
    instrument.start();

    auto child = MakeChild();
    child->Connect(21, 9600, kUvLetters, kUvName, "Feeder", 'N');
    EXPECT_EQ(child->StatusText(0), "COM21:  9600");
    EXPECT_EQ(child->StatusText(1), "Detecting Output Rate...");
    EXPECT_EQ(child->StatusText(2), "VARN_UV_TWO_AXIS");
    EXPECT_EQ(child->windowTitle(), "Feeder");
    EXPECT_EQ(boxes_.Count(), 0);
    EXPECT_FALSE(child->Settled());
    Pump(300);
    EXPECT_EQ(line.ReadSent().find('Q'), std::string::npos);
    EXPECT_GT(DataOf(*child).LineCount(), 0);
}

// A start character whose CR never comes costs the broken message only: the connection keeps
// listening after the framer gives up on it.
TEST_F(ConnectionLink, MessagesFlowAgainAfterAStartWithoutEnd) {
    TestLine line(folder_, 24);
    QTimer instrument;
    instrument.setInterval(100);
    QObject::connect(&instrument, &QTimer::timeout,
                     [&line] { line.Write(StxMessage("Q,+001.00,-002.00,M,00")); });
    instrument.start();
    auto child = MakeChild();
    child->Connect(24, 9600, kUvLetters, kUvName, "Broken", 'N');
    ASSERT_EQ(child->StatusText(1), "Detecting Output Rate...");

    child->dpkt().SetTimeOut(10);  // 10 ticks of 55 ms
    instrument.stop();
    Pump(200);
    line.Write("\x02Q,+001.0");
    // The framer's own time-out flag lasts only until the connection re-arms it, so count the
    // connection's time-outs instead.
    ASSERT_TRUE(WaitFor([&] { return child->FramerTimeouts() == 1; }, 5000));
    Pump(200);
    const int before = child->Wind().GoodMessages();
    const int linesBefore = DataOf(*child).LineCount();
    instrument.start();
    EXPECT_TRUE(WaitFor([&] { return child->Wind().GoodMessages() >= before + 5; }, 5000));
    EXPECT_GE(DataOf(*child).LineCount(), linesBefore + 5);
}

TEST_F(ConnectionLink, ASilentInstrumentIsPolledTwentyTimesThenReported) {
    const std::string log = folder_.Path() + "/sim.log";
    // Polled, and every answer spoilt: the instrument hears each poll but is never understood.
    SimChild sim(folder_, 25,
                 {"--polled", "--bad-checksum", "1", "--log", QString::fromStdString(log)});
    ASSERT_TRUE(sim.Ready()) << sim.Banner().toStdString();

    auto child = MakeChild();
    bool refusedSilently = false;
    QTimer::singleShot(1500, [&] {
        child->close();
        refusedSilently = !child->Closing() && !child->IsClosed() && boxes_.Count() == 0;
    });
    child->Connect(25, 9600, kUvLetters, kUvName, "Quiet", 'N');
    EXPECT_TRUE(refusedSilently);
    ASSERT_EQ(boxes_.Count(), 1);
    EXPECT_EQ(boxes_.Boxes()[0].caption, "Error");
    EXPECT_EQ(boxes_.Boxes()[0].text,
              "Unable to detect Anemometer data. Close this connection and retry.");
    EXPECT_EQ(boxes_.Boxes()[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(child->StatusText(1), "Detection failed. Close and retry.");
    EXPECT_TRUE(child->Settled());
    EXPECT_GT(child->Wind().Packets(), 0);

    EXPECT_TRUE(WaitFor([&] { return SimLogSlots(log).size() >= 20; }, 5000));
    Pump(700);
    EXPECT_EQ(SimLogSlots(log).size(), 20u);

    // Now the question comes; No keeps the connection.
    boxes_.SetAnswer(MessageResult::No);
    child->close();
    ASSERT_EQ(boxes_.Count(), 2);
    EXPECT_EQ(boxes_.Boxes()[1].text, "Close this connection?");
    EXPECT_EQ(boxes_.Boxes()[1].caption, "Quiet");
    EXPECT_EQ(boxes_.Boxes()[1].buttons, MessageButtons::YesNo);
    EXPECT_FALSE(child->IsClosed());
}

TEST_F(ConnectionLink, FourHertzIsMeasuredThenTheClosedPortOpensAgain) {
    SimChild sim(folder_, 26, {"--rate", "4"});
    ASSERT_TRUE(sim.Ready()) << sim.Banner().toStdString();
    auto child = MakeChild();
    child->Connect(26, 9600, kUvLetters, kUvName, "Mast", 'N');
    ASSERT_EQ(child->StatusText(1), "Detecting Output Rate...");

    // Still measuring: refused without a word.
    child->close();
    Pump(50);
    EXPECT_FALSE(child->Closing());
    EXPECT_EQ(boxes_.Count(), 0);

    // Logging: refused with the reason.
    child->StartLogging(folder_.Path() + "/Log.txt");
    child->close();
    ASSERT_EQ(boxes_.Count(), 1);
    EXPECT_EQ(boxes_.Boxes()[0].text, "Please stop logging first");
    EXPECT_EQ(boxes_.Boxes()[0].caption, "Mast");
    child->StopLogging();

    ASSERT_TRUE(WaitFor([&] { return child->Settled(); }, kGenerousMs));
    EXPECT_EQ(child->StatusText(1), "Output Rate: 4 Hz");
    EXPECT_EQ(child->Wind().OutputRate(), 4.0);
    EXPECT_EQ(child->Wind().GustWindow(), 12);

    child->close();
    ASSERT_EQ(boxes_.Count(), 2);
    EXPECT_EQ(boxes_.Boxes()[1].text, "Close this connection?");
    EXPECT_TRUE(child->IsClosed());
    EXPECT_EQ(child->windowTitle(), "Closed..Mast");
    EXPECT_EQ(child->StatusText(0), "CLOSING...");
    EXPECT_TRUE(WaitFor([&] { return child->isMinimized(); }, 5000));
    // A closed connection agrees to close without asking, and stays down when brought up.
    EXPECT_TRUE(child->FormCloseQuery());
    child->showNormal();
    EXPECT_TRUE(WaitFor([&] { return child->isMinimized(); }, 5000));
    EXPECT_EQ(boxes_.Count(), 2);
    EXPECT_EQ(child->windowTitle(), "Closed..Mast");

    auto second = MakeChild();
    second->Connect(26, 9600, kUvLetters, kUvName, "Mast again", 'N');
    EXPECT_EQ(second->StatusText(1), "Detecting Output Rate...");
    EXPECT_FALSE(second->IsClosed());
}

TEST_F(ConnectionLink, SwitchingToAnNmeaFormatListensForDollar) {
    SimChild sim(folder_, 27, {"--format", "NMEA_POLAR", "--rate", "10"});
    ASSERT_TRUE(sim.Ready()) << sim.Banner().toStdString();
    host_.selectedFormatPosition = 2;
    auto child = MakeChild();
    child->Connect(27, 9600, "IDRMNS", "NMEA_POLAR", "Harbour", 'N');
    ASSERT_EQ(child->StatusText(1), "Detecting Output Rate...");
    EXPECT_EQ(child->dpkt().GetStartString(), "$");

    auto* formats = child->findChild<QComboBox*>(QStringLiteral("cbSetOutputFormat"));
    ASSERT_NE(formats, nullptr);
    EXPECT_EQ(formats->currentIndex(), 2);
    formats->setCurrentIndex(1);  // VARN_POLAR_TWO_AXIS: STX never comes
    child->buApplySettingsClick();
    EXPECT_EQ(child->dpkt().GetStartString(), "\x02");
    Pump(400);
    const int silentLines = DataOf(*child).LineCount();
    Pump(800);
    EXPECT_EQ(DataOf(*child).LineCount(), silentLines);

    formats->setCurrentIndex(2);
    child->buApplySettingsClick();
    EXPECT_EQ(child->dpkt().GetStartString(), "$");
    EXPECT_EQ(child->StatusText(2), "NMEA_POLAR");
    EXPECT_TRUE(WaitFor([&] { return DataOf(*child).LineCount() >= silentLines + 5; }, 5000));
    child->FlushDataLines();
    const QString text = child->findChild<QPlainTextEdit*>(QStringLiteral("reData"))->toPlainText();
    EXPECT_TRUE(text.section(QLatin1Char('\n'), -1).startsWith(QLatin1Char('$')));
    EXPECT_TRUE(child->Wind().Sample().valid);
}

TEST_F(ConnectionLink, APortThatWillNotOpenLeavesAClosedWindow) {
    folder_.Link(28, folder_.Path() + "/no-such-device");
    auto child = MakeChild();
    RunShowingErrors([&] { child->Connect(28, 9600, kUvLetters, kUvName, "Ghost", 'N'); });
    ASSERT_EQ(boxes_.Count(), 1);
    EXPECT_EQ(boxes_.Boxes()[0].caption, "ventrix");
    EXPECT_FALSE(boxes_.Boxes()[0].text.isEmpty());
    EXPECT_TRUE(child->IsClosed());
    EXPECT_TRUE(child->Settled());
    EXPECT_EQ(child->windowTitle(), "Closed..Ghost");
    EXPECT_TRUE(child->FormCloseQuery());
    EXPECT_EQ(boxes_.Count(), 1);
    EXPECT_TRUE(WaitFor([&] { return child->isMinimized(); }, 5000));
    // Its port number is free for the next connection.
    EXPECT_EQ(child->ComNumber(), 28);
}

// In the main window's frame: the close leaves the document window there, minimised, and a
// closed window brought up again goes straight back down.
TEST_F(ConnectionLink, AClosedConnectionStaysMinimisedInTheFrame) {
    folder_.Link(29, folder_.Path() + "/no-such-device");
    QMdiArea frame;
    frame.resize(900, 700);
    frame.show();
    auto* child = new Tchild(host_);
    QMdiSubWindow* window = frame.addSubWindow(child);
    window->show();
    EXPECT_THROW(child->Connect(29, 9600, kUvLetters, kUvName, "Ghost", 'N'), ESerException);
    EXPECT_EQ(window->windowTitle(), "Closed..Ghost");
    ASSERT_TRUE(WaitFor([&] { return window->isMinimized(); }, 5000));

    window->showNormal();
    EXPECT_TRUE(WaitFor([&] { return window->isMinimized(); }, 5000));
    window->close();
    Pump(100);
    ASSERT_EQ(frame.subWindowList().size(), 1);
    EXPECT_TRUE(window->isMinimized());
    EXPECT_EQ(boxes_.Count(), 0);
}

// Records whose folder is missing wait in memory after Stop. The window must not let them go
// without asking; once the log tick has written them the ordinary question returns.
TEST_F(ConnectionLink, UnwrittenLogRecordsAreNotGivenUpWithoutAsking) {
    TestLine line(folder_, 22);
    QTimer instrument;
    instrument.setInterval(100);
    QObject::connect(&instrument, &QTimer::timeout,
                     [&line] { line.Write(StxMessage("Q,+001.00,-002.00,M,00")); });
    instrument.start();
    auto child = MakeChild();
    child->Connect(22, 9600, kUvLetters, kUvName, "Pier", 'N');
    ASSERT_TRUE(WaitFor([&] { return child->Settled(); }, kGenerousMs));

    const std::string later = folder_.Path() + "/later";
    child->StartLogging(later + "/Wind.txt");
    ASSERT_TRUE(WaitFor([&] { return child->Log().RecordCount() >= 2; }, kGenerousMs));
    child->StopLogging();
    ASSERT_TRUE(child->Log().HasUnwrittenRecords());

    const std::string lose = "Log records could not be written yet. Close anyway and lose them?";
    boxes_.SetAnswer(MessageResult::No);
    child->close();
    ASSERT_EQ(boxes_.Count(), 1);
    EXPECT_EQ(boxes_.Boxes()[0].text.toStdString(), lose);
    EXPECT_EQ(boxes_.Boxes()[0].caption, "Pier");
    EXPECT_EQ(boxes_.Boxes()[0].buttons, MessageButtons::YesNo);
    EXPECT_FALSE(child->Closing());

    // The folder appears: the records follow on the log tick, logging stopped as it is.
    ASSERT_EQ(::mkdir(later.c_str(), 0700), 0);
    ASSERT_TRUE(WaitFor([&] { return !child->Log().HasUnwrittenRecords(); }, kGenerousMs));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(later + "/Wind [Pier]-0.txt")));
    child->close();
    ASSERT_EQ(boxes_.Count(), 2);
    EXPECT_EQ(boxes_.Boxes()[1].text, "Close this connection?");
    EXPECT_FALSE(child->Closing());

    // Unwritten again; this time the user gives them up, and one question is enough.
    child->StartLogging(folder_.Path() + "/missing/Wind.txt");
    child->StopLogging();
    ASSERT_TRUE(child->Log().HasUnwrittenRecords());
    boxes_.SetAnswer(MessageResult::Yes);
    child->close();
    ASSERT_EQ(boxes_.Count(), 3);
    EXPECT_EQ(boxes_.Boxes()[2].text.toStdString(), lose);
    EXPECT_TRUE(child->IsClosed());
    EXPECT_EQ(child->windowTitle(), "Closed..Pier");
    instrument.stop();
}

}  // namespace
}  // namespace vx
