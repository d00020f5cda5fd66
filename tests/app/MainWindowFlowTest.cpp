#include "app/Main.h"

#include "app/MdiFrame.h"
#include "app/PanelStatusBar.h"
#include "app/SettingsStore.h"
#include "tests/app/MainWindowFixture.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace vx {
namespace {

using test::CallLog;
using test::MainWindowTest;
using test::RecordingConnection;

// ---- Connecting ----

class ConnectTest : public MainWindowTest {
protected:
    void AttachConnectDialog() {
        parent_->SetConnectDialog(&connectDialog_);
        parent_->SetConnectionMaker([this](QMdiArea& frame) -> ConnectionOps* {
            if (failNextConnect_) {
                auto* unconnected = new RecordingConnection("Broken", 9, log_);
                frame.addSubWindow(unconnected)->show();
                throw std::runtime_error("Unable to open COM9");
            }
            auto* connection = new RecordingConnection("New", 2, log_);
            frame.addSubWindow(connection)->show();
            return connection;
        });
    }

    test::FakeConnectDialog connectDialog_;
    test::FakeAlarmDialog alarm_;
    bool failNextConnect_ = false;
};

TEST_F(ConnectTest, NewConnectionGetsTheCurrentSettingsInOrderAndTheMenusOpen) {
    AttachConnectDialog();
    alarm_.settings.SpeedThreshold = 12.5;
    parent_->SetAlarmDialog(&alarm_);
    Choose("knots1");
    Choose("Y2scale1");
    Choose("UV1");
    Choose("N0539degrees1");
    Choose("NSEW1");

    Choose("New1");
    EXPECT_EQ(connectDialog_.shown, 1);
    EXPECT_EQ(log_, CallLog({"New:SetUnits(1)", "New:SetDisplayMode(0)", "New:SetYScale(40)",
                             "New:SetDirectionRange(540)", "New:SetRoseType(1)",
                             "New:SetAveraging(0)", "New:SetAlarmSettings"}));
    auto* connection = dynamic_cast<RecordingConnection*>(parent_->ConnectionWindows().at(0));
    ASSERT_NE(connection, nullptr);
    EXPECT_DOUBLE_EQ(connection->LastAlarm().SpeedThreshold, 12.5);
    EXPECT_EQ(parent_->Frame().subWindowList().at(0)->width(), Tparent::kConnectionWidth);
    EXPECT_TRUE(Item("Log1")->isEnabled());
    EXPECT_TRUE(Item("Settings1")->isEnabled());
    EXPECT_TRUE(Item("Window1")->isEnabled());
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(ConnectTest, CancelledDialogCreatesNothing) {
    AttachConnectDialog();
    connectDialog_.answerOk = false;
    Choose("New1");
    EXPECT_EQ(connectDialog_.shown, 1);
    EXPECT_TRUE(parent_->ConnectionWindows().empty());
    EXPECT_FALSE(Item("Settings1")->isEnabled());
}

TEST_F(ConnectTest, FailedConnectIsShownAndTheWindowGetsNoSettings) {
    AttachConnectDialog();
    failNextConnect_ = true;
    Choose("New1");
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].caption, "ventrix");
    EXPECT_EQ(boxes_.boxes[0].text, "Unable to open COM9.");
    EXPECT_TRUE(log_.empty());
    EXPECT_EQ(parent_->ConnectionWindows().size(), 1u);  // stays, unconnected
    EXPECT_FALSE(Item("Settings1")->isEnabled());
}

// A new connection window lies inside the frame's client area, its buttons within reach, even
// when the frame is narrower than the connection width or the window was placed far right; the
// window of a connection that failed too.
TEST_F(ConnectTest, NewConnectionWindowsLieInsideTheFrame) {
    parent_->resize(620, 420);
    parent_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(parent_.get()));
    parent_->SetConnectDialog(&connectDialog_);
    int made = 0;
    parent_->SetConnectionMaker([this, &made](QMdiArea& frame) -> ConnectionOps* {
        ++made;
        auto* connection = new RecordingConnection("W" + std::to_string(made), made, log_);
        connection->resize(693, 470);  // the connection window's own size
        QMdiSubWindow* window = frame.addSubWindow(connection);
        window->show();
        window->move(frame.viewport()->width() - 100, 40 * made);
        if (failNextConnect_) {
            throw std::runtime_error("Unable to open COM9");
        }
        return connection;
    });
    for (int i = 0; i < 4; ++i) {
        failNextConnect_ = i == 3;
        Choose("New1");
    }
    const QRect area = parent_->Frame().viewport()->rect();
    const auto windows = parent_->Frame().subWindowList(QMdiArea::CreationOrder);
    ASSERT_EQ(windows.size(), 4);
    for (QMdiSubWindow* window : windows) {
        EXPECT_TRUE(area.contains(window->geometry()))
            << window->windowTitle().toStdString() << " at " << window->geometry().x() << ","
            << window->geometry().y() << " " << window->width() << "x" << window->height() << " in "
            << area.width() << "x" << area.height();
    }
}

TEST_F(ConnectTest, RefusalsComeInOrderAlarmAveragingLogging) {
    AttachConnectDialog();
    AddConnection("A");
    alarm_.settings.DirectionAlarmOn = true;
    parent_->SetAlarmDialog(&alarm_);
    parent_->UpdateAlarmStatus();
    Choose("N10min1");
    Choose("StartStop1");
    ASSERT_TRUE(parent_->LoggingInProgress());

    Choose("New1");
    alarm_.settings.DirectionAlarmOn = false;
    parent_->UpdateAlarmStatus();
    Choose("New1");
    Choose("Off1");
    Choose("New1");
    Choose("StartStop1");
    Choose("New1");

    ASSERT_EQ(boxes_.boxes.size(), 3u);
    EXPECT_EQ(boxes_.boxes[0].text, "Please disable alarm first");
    EXPECT_EQ(boxes_.boxes[1].text, "Please disable averaging first");
    EXPECT_EQ(boxes_.boxes[2].text, "Please stop current log first");
    for (const MessageRequest& box : boxes_.boxes) {
        EXPECT_EQ(box.caption, "Unable to connect.");
    }
    EXPECT_EQ(connectDialog_.shown, 1);
}

// ---- Alarms ----

TEST_F(MainWindowTest, AlarmStatusFollowsTheDialogAndAClickResetsIt) {
    test::FakeAlarmDialog alarm;
    alarm.settings.SpeedAlarmOn = true;
    parent_->SetAlarmDialog(&alarm);
    AddConnection("A");
    AddConnection("B");
    parent_->show();
    PanelStatusBar& bar = parent_->StatusBar();

    parent_->UpdateAlarmStatus();
    EXPECT_EQ(bar.PanelText(0), "Alarm Status: Armed");
    EXPECT_EQ(bar.Colour(), QColor(0, 128, 0));
    EXPECT_TRUE(parent_->AlarmArmed());
    EXPECT_EQ(log_, CallLog({"A:SetAlarmSettings", "B:SetAlarmSettings"}));
    EXPECT_EQ(alarm.linesLowered, 1);

    const std::string message = "Windspeed alarm triggered by A - click here to reset";
    parent_->ShowAlarmMessage(message);
    EXPECT_EQ(bar.PanelText(0).toStdString(), message);
    EXPECT_EQ(bar.Colour(), QColor(255, 0, 0));

    log_.clear();
    QTest::mouseClick(&bar, Qt::LeftButton, Qt::NoModifier, QPoint(400, bar.height() / 2));
    EXPECT_EQ(bar.PanelText(0), "Alarm Status: Armed");
    EXPECT_EQ(bar.Colour(), QColor(0, 128, 0));
    EXPECT_EQ(log_, CallLog({"A:SetAlarmSettings", "B:SetAlarmSettings"}));
    EXPECT_EQ(alarm.linesLowered, 2);

    alarm.settings.SpeedAlarmOn = false;
    QTest::mouseClick(&bar, Qt::LeftButton, Qt::NoModifier, QPoint(10, bar.height() / 2));
    EXPECT_EQ(bar.PanelText(0), "Alarm Status: Disabled");
    EXPECT_EQ(bar.Colour(), QApplication::palette().color(QPalette::Button));
    EXPECT_FALSE(parent_->AlarmArmed());
}

TEST_F(MainWindowTest, DialogItemsOpenTheAttachedDialogs) {
    Choose("Alarm1");
    Choose("Logging1");  // nothing attached: nothing happens
    test::FakeAlarmDialog alarm;
    test::FakeLogDialog logDialog;
    parent_->SetAlarmDialog(&alarm);
    parent_->SetLogDialog(&logDialog);
    Choose("Alarm1");
    Choose("Logging1");
    EXPECT_EQ(alarm.shown, 1);
    EXPECT_EQ(logDialog.shown, 1);
}

// ---- Logging ----

TEST_F(MainWindowTest, LogItemWithoutConnectionsDisablesTheLogMenu) {
    Item("Log1")->setEnabled(true);
    Choose("StartStop1");
    EXPECT_FALSE(Item("Log1")->isEnabled());
    EXPECT_EQ(Item("StartStop1")->text(), "Start");
    EXPECT_EQ(parent_->StatusBar().PanelText(1), "");
}

TEST_F(MainWindowTest, LogItemStartsAndStopsEveryConnection) {
    test::FakeLogDialog logDialog;
    parent_->SetLogDialog(&logDialog);
    AddConnection("A");
    AddConnection("B")->MarkClosed();
    PanelStatusBar& bar = parent_->StatusBar();

    Choose("StartStop1");
    EXPECT_EQ(log_, CallLog({"A:StartLogging(/data/wind logs/Varn Log.txt)",
                             "B:StartLogging(/data/wind logs/Varn Log.txt)"}));
    EXPECT_EQ(bar.PanelText(1), "Logging: /data/wind logs/");
    EXPECT_EQ(bar.PanelText(2), "0 mins");
    EXPECT_EQ(Item("StartStop1")->text(), "Stop");
    EXPECT_TRUE(parent_->LoggingInProgress());
    EXPECT_TRUE(logDialog.timerRunning);

    parent_->ShowLogMinutes(17);
    EXPECT_EQ(bar.PanelText(2), "17 mins");
    log_.clear();
    parent_->RequestNewLogFiles();
    EXPECT_EQ(log_, CallLog({"A:RequestNewLogFile", "B:RequestNewLogFile"}));

    log_.clear();
    Choose("StartStop1");
    EXPECT_EQ(log_, CallLog({"A:StopLogging", "B:StopLogging"}));
    EXPECT_EQ(bar.PanelText(1), "Logging stopped");
    EXPECT_EQ(bar.PanelText(2), "17 mins");
    EXPECT_EQ(Item("StartStop1")->text(), "Start");
    EXPECT_FALSE(logDialog.timerRunning);
}

// ---- Closing ----

TEST_F(MainWindowTest, ClosingAsksEachConnectionInTurnAndNoKeepsEverythingUnwritten) {
    AddConnection("A");
    AddConnection("B");
    parent_->show();
    QSignalSpy closed(parent_.get(), &Tparent::Closed);
    boxes_.answers = {MessageResult::Yes, MessageResult::No};

    EXPECT_FALSE(parent_->close());
    EXPECT_EQ(log_, CallLog({"A:CloseQuery", "B:CloseQuery"}));
    ASSERT_EQ(boxes_.boxes.size(), 2u);
    EXPECT_EQ(boxes_.boxes[0].caption, "A");
    EXPECT_EQ(boxes_.boxes[1].caption, "B");
    EXPECT_TRUE(parent_->isVisible());
    EXPECT_EQ(closed.count(), 0);
    EXPECT_FALSE(std::filesystem::exists(config_.StorePath()));

    // The first refusal ends the request: the second connection is not asked.
    log_.clear();
    boxes_.answers = {MessageResult::No};
    EXPECT_FALSE(parent_->close());
    EXPECT_EQ(log_, CallLog({"A:CloseQuery"}));
}

TEST_F(MainWindowTest, CloseRefusedForLoggingStillWritesTheSettings) {
    test::FakeLogDialog logDialog;
    test::FakeConnectDialog connectDialog;
    connectDialog.formatPosition = 4;
    parent_->SetLogDialog(&logDialog);
    parent_->SetConnectDialog(&connectDialog);
    AddConnection("A")->MarkClosed();
    Choose("fpm1");
    Choose("UV1");
    Choose("StartStop1");
    parent_->show();

    EXPECT_FALSE(parent_->close());
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, "Please stop logging first.");
    EXPECT_EQ(boxes_.boxes[0].caption, "Logging in progress");
    EXPECT_TRUE(parent_->isVisible());

    StoredSettings stored{-9, -9, -9, "unread"};
    LoadSettings(config_.StorePath(), stored);
    EXPECT_EQ(stored, (StoredSettings{4, 0, 4, logDialog.fileName}));
}

TEST_F(MainWindowTest, GrantedCloseWritesTheSettingsAndEndsTheProgram) {
    config_.WriteStore(
        "\"Units\"=dword:2\n\"DisplayMode\"=dword:1\n\"MessageTypeIndex\"=dword:7\n"
        "\"DefaultLogFile\"=\"/keep/me.txt\"\n");
    CreateWindow();
    parent_->show();
    QSignalSpy closed(parent_.get(), &Tparent::Closed);
    Choose("Exit1");
    EXPECT_FALSE(parent_->isVisible());
    EXPECT_EQ(closed.count(), 1);
    StoredSettings stored;
    LoadSettings(config_.StorePath(), stored);
    // Without the dialogs the values read at start-up go back unchanged.
    EXPECT_EQ(stored, (StoredSettings{2, 1, 7, "/keep/me.txt"}));
}

// ---- Arranging windows ----

TEST_F(MainWindowTest, TileSetsOpenWindowsSideBySideAndLeavesMinimisedOnes) {
    parent_->show();
    AddConnection("A");
    AddConnection("B")->MarkClosed();
    AddConnection("C");
    const auto windows = parent_->Frame().subWindowList(QMdiArea::CreationOrder);
    windows[1]->showMinimized();

    Choose("Tile1");
    const QRect area = parent_->Frame().viewport()->rect();
    EXPECT_TRUE(windows[1]->isMinimized());
    EXPECT_EQ(windows[0]->geometry().topLeft(), QPoint(0, 0));
    EXPECT_EQ(windows[2]->geometry().top(), 0);
    EXPECT_EQ(windows[2]->geometry().left(), windows[0]->geometry().right() + 1);
    EXPECT_EQ(windows[0]->width() + windows[2]->width(), area.width());
    EXPECT_LE(std::abs(windows[0]->width() - windows[2]->width()), 1);
    EXPECT_EQ(windows[0]->height(), windows[2]->height());
    EXPECT_LE(windows[0]->geometry().bottom(), windows[1]->geometry().top());

    Choose("Cascade1");
    EXPECT_NE(windows[0]->geometry().topLeft(), windows[2]->geometry().topLeft());
    EXPECT_LT(windows[2]->width(), area.width() / 2 + area.width() / 4 + 200);
}

}  // namespace
}  // namespace vx
