#include "logging/LocaleTimeFormatter.h"
#include "logging/LogFlushTimer.h"
#include "logging/LogHost.h"
#include "logging/Logdlg.h"
#include "platform/MessageBox.h"
#include "tests/logging/LogTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace vx {
namespace {

using ::testing::ElementsAre;

class RecordingHost : public LogHost {
public:
    void RequestNewLogFiles() override {
        ++requests;
        if (onRequest) {
            onRequest();
        }
    }
    void ShowLogMinutes(int minutes) override { shownMinutes.push_back(minutes); }

    int requests = 0;
    std::vector<int> shownMinutes;
    std::function<void()> onRequest;
};

class LogDialogTest : public ::testing::Test {
protected:
    LogDialogTest() : dialog("/home/user/Varn Log.txt") {
        dialog.SetHost(&host);
        SetMessageBoxHook([this](const MessageRequest& request) {
            boxes.push_back(request.caption.toStdString() + ": " + request.text.toStdString());
            return MessageResult::Ok;
        });
    }
    ~LogDialogTest() override { SetMessageBoxHook({}); }

    void Apply(const QString& minutes) {
        dialog.edMins->setText(minutes);
        dialog.Button1->click();
    }

    RecordingHost host;
    TfrmLogDlg dialog;
    std::vector<std::string> boxes;
};

TEST_F(LogDialogTest, StartsWithItsControlsInTheirInitialState) {
    EXPECT_EQ(dialog.windowTitle(), "Log Settings");
    EXPECT_EQ(dialog.size(), QSize(657, 491));
    EXPECT_FALSE(dialog.cbEnable->isChecked());
    EXPECT_EQ(dialog.cbEnable->text(), "Enable");
    EXPECT_EQ(dialog.edMins->text(), "10");
    EXPECT_FALSE(dialog.cbAppendTimeStamp->isChecked());
    EXPECT_EQ(dialog.cbAppendTimeStamp->text(), "Append Time Stamp");
    EXPECT_FALSE(dialog.cbAppendRecordCount->isChecked());
    EXPECT_EQ(dialog.cbAppendRecordCount->text(), "Append Record Count");
    EXPECT_EQ(dialog.edDir->text(), "/home/user");
    EXPECT_EQ(dialog.edFileName->text(), "Varn Log.txt");
    EXPECT_EQ(dialog.Button2->text(), "...");
    EXPECT_EQ(dialog.Button1->text(), "Apply");
    EXPECT_TRUE(dialog.reLogDescription->toPlainText().isEmpty());
    EXPECT_EQ(dialog.LogFileName(), "/home/user/Varn Log.txt");
    EXPECT_EQ(dialog.SegmentMinutes(), 10);  // what the box shows
    EXPECT_EQ(dialog.Timer1.interval(), 60000);
    EXPECT_FALSE(dialog.LogTimerRunning());
    for (const char* name : {"cbEnable", "edMins", "cbAppendTimeStamp", "cbAppendRecordCount",
                             "edDir", "Button2", "edFileName", "reLogDescription", "Button1"}) {
        EXPECT_NE(dialog.findChild<QWidget*>(name), nullptr) << name;
    }
}

TEST_F(LogDialogTest, ApplyTakesSegmentLengthAndPathThenNotesAndCloses) {
    dialog.show();
    dialog.edDir->setText("/data/mast");
    dialog.edFileName->setText("Run.log");
    Apply("5");
    EXPECT_EQ(dialog.SegmentMinutes(), 5);
    EXPECT_EQ(dialog.LogFileName(), "/data/mast/Run.log");
    EXPECT_THAT(boxes, ElementsAre("Note: Select File->Log->Start to start logging"));
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(LogDialogTest, SegmentLengthThatIsNotAWholeNumberFallsBackToTen) {
    for (const char* text : {"abc", "1.5", "", "7 "}) {
        Apply("3");
        Apply(text);
        EXPECT_EQ(dialog.SegmentMinutes(), 10) << text;
    }
    EXPECT_EQ(dialog.edMins->text(), "10");
}

TEST_F(LogDialogTest, BrowseStartsFromLogFileNameAndTakesChoiceAtOnce) {
    QString startedFrom;
    dialog.SetSaveFileChooser([&](QWidget*, const QString& start) {
        startedFrom = start;
        return QString("/srv/logs/Wind.txt");
    });
    dialog.Button2->click();
    EXPECT_EQ(startedFrom, "/home/user/Varn Log.txt");
    EXPECT_EQ(dialog.LogFileName(), "/srv/logs/Wind.txt");  // before any Apply
    EXPECT_EQ(dialog.edDir->text(), "/srv/logs");
    EXPECT_EQ(dialog.edFileName->text(), "Wind.txt");

    dialog.SetSaveFileChooser([](QWidget*, const QString&) { return QString(); });
    dialog.Button2->click();  // cancelled: nothing changes
    EXPECT_EQ(dialog.LogFileName(), "/srv/logs/Wind.txt");
}

TEST_F(LogDialogTest, MinuteTickRequestsNewFilesAtSegmentBoundariesWhenEnabled) {
    Apply("2");
    dialog.StartLogTimer();
    EXPECT_TRUE(dialog.LogTimerRunning());
    dialog.cbEnable->setChecked(true);
    for (int i = 0; i < 4; ++i) {
        dialog.Timer1Timer();
    }
    EXPECT_EQ(host.requests, 2);
    EXPECT_THAT(host.shownMinutes, ElementsAre(1, 2, 3, 4));

    // Disabled: boundaries still pass (the count restarts) but nothing is requested.
    dialog.cbEnable->setChecked(false);
    dialog.Timer1Timer();
    dialog.Timer1Timer();
    EXPECT_EQ(dialog.SegmentTicks(), 0);
    EXPECT_EQ(host.requests, 2);

    dialog.StopLogTimer();
    EXPECT_FALSE(dialog.LogTimerRunning());
    dialog.StartLogTimer();
    EXPECT_EQ(dialog.LoggedMinutes(), 0);
    EXPECT_EQ(dialog.SegmentTicks(), 0);
}

// "Enable" checked without Apply: the segments are as long as the box says, not one minute.
TEST_F(LogDialogTest, WithoutApplyTheSegmentsAreAsLongAsTheBoxShows) {
    dialog.cbEnable->setChecked(true);
    dialog.StartLogTimer();
    for (int i = 0; i < 9; ++i) {
        dialog.Timer1Timer();
    }
    EXPECT_EQ(host.requests, 0);
    dialog.Timer1Timer();
    EXPECT_EQ(host.requests, 1);
    dialog.edMins->setText("2");  // typed while logging, read at the next tick
    dialog.Timer1Timer();
    dialog.Timer1Timer();
    EXPECT_EQ(host.requests, 2);
    dialog.edMins->setText("two");
    EXPECT_EQ(dialog.SegmentMinutes(), 10);
}

// An empty folder means the home folder, never the folder the program was started from; the
// dialog then shows the folder it will use.
TEST_F(LogDialogTest, EmptyOrRelativeFolderLiesInTheHomeFolder) {
    const QString home = qEnvironmentVariable("HOME");
    ASSERT_TRUE(home.startsWith('/'));
    dialog.edDir->setText("");
    dialog.edFileName->setText("Wind.txt");
    Apply("10");
    EXPECT_EQ(dialog.LogFileName(), (home + "/Wind.txt").toStdString());
    EXPECT_EQ(dialog.edDir->text(), home);
    dialog.edDir->setText("mast/logs");
    Apply("10");
    EXPECT_EQ(dialog.LogFileName(), (home + "/mast/logs/Wind.txt").toStdString());
    dialog.edDir->setText("~/wind");
    Apply("10");
    EXPECT_EQ(dialog.LogFileName(), (home + "/wind/Wind.txt").toStdString());

    TfrmLogDlg remembered("Varn Log.txt");  // a bare name from an older settings file
    EXPECT_EQ(remembered.LogFileName(), (home + "/Varn Log.txt").toStdString());
}

TEST_F(LogDialogTest, ConnectionsReadDescriptionAndRecordOptionsFromTheDialog) {
    dialog.reLogDescription->setPlainText("Mast 3\nNorth side\n");
    dialog.cbAppendRecordCount->setChecked(true);
    EXPECT_THAT(dialog.LogDescription(), ElementsAre("Mast 3", "North side"));
    EXPECT_TRUE(dialog.LogRecordOptions().appendRecordCount);
    EXPECT_FALSE(dialog.LogRecordOptions().appendTimeStamp);
    dialog.reLogDescription->clear();
    EXPECT_TRUE(dialog.LogDescription().empty());
    EXPECT_EQ(dialog.LogCaption(), "Ventrix");
}

TEST_F(LogDialogTest, SameErrorFromSeveralPlacesIsShownOnceFromTheEventLoop) {
    dialog.ReportLogError("Cannot create file /x/a.txt");
    dialog.ReportLogError("Cannot create file /x/a.txt");
    EXPECT_TRUE(boxes.empty());  // not inside the caller's message handling
    QApplication::processEvents();
    EXPECT_THAT(boxes, ElementsAre("ventrix: Cannot create file /x/a.txt."));
}

// The whole road of a segment: the minute tick marks the connections through the main window,
// and each connection's next message moves it to a new file.
TEST_F(LogDialogTest, SegmentTickMovesConnectionLogsToNewFiles) {
    test::TempFolder folder;
    ConnectionLog log(dialog);
    log.SetConnectionName("Anemometer 1");
    log.SetOutputFormatName("NMEA_POLAR");
    host.onRequest = [&] { log.RequestNewLogFile(); };
    dialog.cbAppendRecordCount->setChecked(true);
    dialog.cbEnable->setChecked(true);
    dialog.edDir->setText(QString::fromStdString(folder.Path()));
    Apply("1");
    log.StartLogging(dialog.LogFileName());
    dialog.StartLogTimer();
    log.LogMessage("$first");
    dialog.Timer1Timer();
    log.LogMessage("$second");
    log.StopLogging();
    dialog.StopLogTimer();
    ASSERT_TRUE(log.WaitUntilWritten(test::kWriteDeadline));

    EXPECT_THAT(test::ReadFile(folder / "Varn Log [Anemometer 1]-0.txt"),
                ::testing::HasSubstr("\r\n\r\n$first,1\r\nLog file closed: "));
    EXPECT_THAT(test::ReadFile(folder / "Varn Log [Anemometer 1]-1.txt"),
                ::testing::HasSubstr("\r\n\r\n$second,1\r\nLog file closed: "));
}

TEST(LocaleTimeFormatterTest, LongTimeLosesOnlyTheTimeZone) {
    EXPECT_EQ(LocaleTimeFormatter::WithoutTimeZone("HH:mm:ss t"), "HH:mm:ss");
    EXPECT_EQ(LocaleTimeFormatter::WithoutTimeZone("h:mm:ss AP t"), "h:mm:ss AP");
    EXPECT_EQ(LocaleTimeFormatter::WithoutTimeZone("HH 'at' mm"), "HH 'at' mm");
    LocaleTimeFormatter formatter;
    const std::string time = formatter.TimeText(LocalDateTime{2024, 3, 1, 14, 5, 3, 0});
    EXPECT_THAT(time, ::testing::HasSubstr("05:03"));
    EXPECT_THAT(time, ::testing::Not(::testing::HasSubstr("UTC")));
}

// The writer's reports reach the environment on the user-interface thread, by the timer alone.
TEST(LogFlushTimerTest, BringsTheWritersReportsToTheUserInterfaceThread) {
    test::TempFolder folder;
    test::RecordingEnvironment environment;
    ConnectionLog log(environment);
    log.SetConnectionName("A");
    log.StartLogging(folder / "missing/Log.txt");
    LogFlushTimer timer(log);
    QElapsedTimer waited;
    waited.start();
    while (environment.errors.empty() && waited.elapsed() < 30000) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    EXPECT_THAT(environment.errors,
                ElementsAre("Cannot create file " + folder / "missing/Log [A]-0.txt"));
    std::filesystem::create_directory(folder / "missing");
    log.StopLogging();
    EXPECT_TRUE(log.WaitUntilWritten(test::kWriteDeadline));
}

}  // namespace
}  // namespace vx
