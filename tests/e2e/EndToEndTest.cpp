// The whole program driven as a user drives it: real menus, the real connect dialog, connection
// windows on real simulated instruments, log files on disk and the alarm in the status bar.

#include "alarm/Alarm.h"
#include "app/Main.h"
#include "app/PanelStatusBar.h"
#include "app/Startup.h"
#include "connection/Anemometer.h"
#include "connection/TextPanel.h"
#include "logging/Logdlg.h"
#include "platform/NumberText.h"
#include "tests/e2e/E2eSupport.h"
#include "widgets/Varnwindsock.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <ostream>

// Readable failure messages for the window texts compared below.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace vx::e2e {
namespace {

constexpr int kDataWaitMs = 15000;
// Detection ends at the first message; the output rate takes two 5 s periods more.
constexpr int kSettleWaitMs = 40000;
constexpr double kKnots = 1.944;

QString Fixed2(double value) {
    return QString::fromStdString(FormatFixed(value, 2));
}

double Radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(ports_.Path().isEmpty()); }

    std::unique_ptr<Sim> StartSim(int comNumber, const QStringList& arguments) {
        auto sim = std::make_unique<Sim>(
            ports_, comNumber, arguments,
            QString::fromStdString(work_ / ("sim" + std::to_string(comNumber) + ".log")));
        EXPECT_TRUE(sim->Ready()) << sim->Banner().toStdString();
        return sim;
    }

    Tchild* Connect(int comNumber, const QString& format) {
        Tchild* child =
            program_->ConnectThroughDialog({comNumber, QStringLiteral("9600"), format, {}});
        EXPECT_NE(child, nullptr) << "COM" << comNumber << ": "
                                  << boxes_.Texts().join("|").toStdString();
        return child;
    }

    PanelStatusBar& StatusBar() { return program_->Parent().StatusBar(); }

    test::TempFolder work_{"vx-e2e"};
    test::ScopedEnv config_{"XDG_CONFIG_HOME", work_ / "config"};
    PortsFolder ports_;
    BoxRecorder boxes_;
    std::vector<std::unique_ptr<Sim>> sims_;
    // Declared last: the program's windows go before the instruments they listen to.
    std::unique_ptr<Program> program_;
};

// ---- Two instruments: global settings, a port held by a connection, the speed alarm ----

class EndToEndTwoInstruments : public EndToEnd {
protected:
    // Steady winds, so every message carries the same values: U 2.50, V -4.33 m/s on the UV
    // head; 8 m/s from 300 degrees on the NMEA one.
    void StartInstruments() {
        sims_.push_back(StartSim(11, {"--format", "VARN_UV_TWO_AXIS", "--rate", "4", "--speed", "5",
                                      "--direction", "240", "--turbulence", "0", "--gusts", "0"}));
        sims_.push_back(StartSim(12, {"--format", "NMEA_POLAR", "--rate", "1", "--speed", "8",
                                      "--direction", "300", "--turbulence", "0", "--gusts", "0"}));
    }

    void ExpectUvViews(const Tchild& child, const QString& u, const QString& v) {
        EXPECT_TRUE(WaitFor([&] { return PanelText(child, "paDig1") == u; }, kDataWaitMs))
            << PanelText(child, "paDig1").toStdString();
        EXPECT_EQ(PanelText(child, "paDig2"), v);
        EXPECT_TRUE(Panel(child, "paDig3")->isHidden());  // no W field in either format
        EXPECT_EQ(PanelText(child, "paLeftHandAxis"), "knots");
        EXPECT_EQ(PanelText(child, "laMagAxisMax"), "40");
        EXPECT_EQ(PanelText(child, "laMagAxisMin"), "-40");
        EXPECT_TRUE(Panel(child, "paRightAxis")->isHidden());
        EXPECT_EQ(PanelText(child, "paSeries1Key"), "___ u vector");
        EXPECT_EQ(PanelText(child, "paSeries2Key"), "___ v vector");
        EXPECT_EQ(child.findChild<TVarnWindsock*>("windsock")->GetRose(), 1);
        EXPECT_EQ(PanelText(child, "paWindsockAvg"), "Average: 2 min");
    }

    QMdiSubWindow* SubWindowOf(Tchild& child) {
        return qobject_cast<QMdiSubWindow*>(child.parentWidget());
    }
};

TEST_F(EndToEndTwoInstruments, SettingsReachBothWindowsPortsAreHeldAndTheSpeedAlarmFiresAndResets) {
    StartInstruments();
    program_ = std::make_unique<Program>();

    // Connected through the dialog, names as it proposes them.
    Tchild* uv = Connect(11, QStringLiteral("VARN_UV_TWO_AXIS"));
    Tchild* nmea = Connect(12, QStringLiteral("NMEA_POLAR"));
    ASSERT_TRUE(uv != nullptr && nmea != nullptr);
    EXPECT_EQ(uv->windowTitle(), "Anemometer 1");
    EXPECT_EQ(nmea->windowTitle(), "Anemometer 2");
    EXPECT_EQ(uv->StatusText(0), "COM11:  9600");
    EXPECT_EQ(nmea->StatusText(2), "NMEA_POLAR");
    EXPECT_EQ(SubWindowOf(*uv)->width(), Tparent::kConnectionWidth);
    EXPECT_TRUE(program_->Action("Settings1")->isEnabled());
    EXPECT_TRUE(WaitFor([&] { return PanelText(*nmea, "paDig2") == "8.00 m/s"; }, kDataWaitMs))
        << PanelText(*nmea, "paDig2").toStdString();
    EXPECT_EQ(PanelText(*nmea, "paDig1"), "300.0 deg");

    // Phase 1: knots, the second speed scale, UV, the NSEW rose and 2-minute averages.
    program_->Choose("knots1");
    program_->Choose("Y2scale1");
    program_->Choose("UV1");
    program_->Choose("NSEW1");
    program_->Choose("N2min1");
    ExpectUvViews(*uv, "U " + Fixed2(2.5 * kKnots) + " knots",
                  "V " + Fixed2(-4.33 * kKnots) + " knots");
    const double u = -8.0 * std::cos(Radians(300)) * kKnots;
    const double v = 8.0 * std::sin(Radians(300)) * kKnots;
    ExpectUvViews(*nmea, "U " + Fixed2(u) + " knots", "V " + Fixed2(v) + " knots");
    EXPECT_FALSE(program_->Action("Units1")->isEnabled());

    boxes_.Clear();
    program_->Choose("New1");
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, "Please disable averaging first");
    EXPECT_EQ(boxes_.Boxes()[0].caption, "Unable to connect.");
    EXPECT_EQ(program_->Connections().size(), 2u);

    // Back to polar: the direction panel and the magnitude in knots.
    program_->Choose("Polar1");
    EXPECT_TRUE(WaitFor([&] { return PanelText(*nmea, "paDig2") == "15.55 knots"; }, kDataWaitMs))
        << PanelText(*nmea, "paDig2").toStdString();
    EXPECT_EQ(PanelText(*nmea, "paDig1"), "300.0 deg");
    EXPECT_EQ(PanelText(*nmea, "laMagAxisMin"), "0");
    EXPECT_EQ(PanelText(*uv, "paSeries1Key"), "___ magnitude");
    EXPECT_FALSE(Panel(*uv, "paRightAxis")->isHidden());
    program_->Choose("Off1");
    EXPECT_EQ(PanelText(*uv, "paWindsockAvg"), "Average: Off");

    // Phase 2: COM11 is held by the first connection until that connection has closed.
    boxes_.Clear();
    EXPECT_EQ(program_->ConnectThroughDialog({11, "9600", "VARN_UV_TWO_AXIS", {}}), nullptr);
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, "Com Port is already in use");
    EXPECT_EQ(boxes_.Boxes()[0].caption, "Error");

    ASSERT_TRUE(WaitFor([&] { return uv->Settled(); }, kSettleWaitMs))
        << uv->StatusText(1).toStdString();
    EXPECT_EQ(uv->StatusText(1), "Output Rate: 4 Hz");
    boxes_.Clear();
    SubWindowOf(*uv)->close();
    ASSERT_TRUE(WaitFor([&] { return uv->IsClosed(); }, 5000));
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].text, "Close this connection?");
    EXPECT_EQ(uv->windowTitle(), "Closed..Anemometer 1");

    Tchild* again = Connect(11, QStringLiteral("VARN_UV_TWO_AXIS"));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->windowTitle(), "Anemometer 4");  // the refused showing took number 3
    EXPECT_EQ(again->StatusText(1), "Detecting Output Rate...");
    EXPECT_TRUE(
        WaitFor([&] { return PanelText(*again, "paDig2").endsWith(" knots"); }, kDataWaitMs))
        << PanelText(*again, "paDig2").toStdString();

    // Phase 3: a speed alarm between the two winds (6.5 m/s, typed in knots) fires only for
    // the 8 m/s instrument; a click on the status bar resets it.
    TfrmAlarm& alarm = *program_->Windows().frmAlarm;
    program_->Choose("Alarm1");
    ASSERT_TRUE(WaitFor([&] { return alarm.isVisible(); }, 5000));
    Pump(100);
    EXPECT_EQ(alarm.laUnits->text(), "knots");
    alarm.cbEnableWindspeed->setChecked(true);
    alarm.rbTriggerAbove->setChecked(true);
    alarm.edWindSpeedThreshold->setText(Fixed2(6.5 * kKnots));
    alarm.Button1->click();
    EXPECT_EQ(StatusBar().PanelText(0), "Alarm Status: Armed");
    EXPECT_EQ(StatusBar().Colour(), QColor(0, 128, 0));

    const QString raised = "Windspeed alarm triggered by Anemometer 2 - click here to reset";
    ASSERT_TRUE(WaitFor([&] { return StatusBar().PanelText(0) == raised; }, kDataWaitMs))
        << StatusBar().PanelText(0).toStdString();
    EXPECT_EQ(StatusBar().Colour(), QColor(255, 0, 0));
    QTest::mouseClick(&StatusBar(), Qt::LeftButton);
    EXPECT_EQ(StatusBar().PanelText(0), "Alarm Status: Armed");
    EXPECT_EQ(StatusBar().Colour(), QColor(0, 128, 0));
    // The wind still blows above the threshold: the next two messages raise it again, and the
    // slower head never does.
    ASSERT_TRUE(WaitFor([&] { return StatusBar().PanelText(0) == raised; }, kDataWaitMs));

    boxes_.Clear();
    program_->Choose("New1");
    EXPECT_EQ(boxes_.Texts(), QStringList{"Please disable alarm first"});

    program_->Choose("Alarm1");
    alarm.cbEnableWindspeed->setChecked(false);
    alarm.Button1->click();
    EXPECT_EQ(StatusBar().PanelText(0), "Alarm Status: Disabled");
    EXPECT_FALSE(program_->Parent().AlarmArmed());
}

// ---- A port that will not open ----

TEST_F(EndToEnd, APortThatWillNotOpenIsReportedAndItsWindowGetsNoSettings) {
    program_ = std::make_unique<Program>();
    // COM5 is listed nowhere (its link names a missing device) but can be typed into the box.
    Tchild* child = program_->ConnectThroughDialog({5, "9600", "VARN_UV_TWO_AXIS", {}});
    ASSERT_NE(child, nullptr);
    ASSERT_EQ(boxes_.Boxes().size(), 1u) << boxes_.Texts().join("|").toStdString();
    EXPECT_EQ(boxes_.Boxes()[0].caption, "ventrix");
    EXPECT_EQ(boxes_.Boxes()[0].icon, MessageIcon::Error);
    EXPECT_TRUE(child->IsClosed());
    EXPECT_EQ(child->windowTitle(), "Closed..Anemometer 1");
    // No settings pushed: the graph axis still has no unit, and the menus stay closed.
    EXPECT_EQ(PanelText(*child, "paLeftHandAxis"), "");
    EXPECT_FALSE(program_->Action("Settings1")->isEnabled());
    EXPECT_FALSE(program_->Parent().IsPortInUse(5));

    // The window can go at once, without a question.
    boxes_.Clear();
    qobject_cast<QMdiSubWindow*>(child->parentWidget())->close();
    Pump(50);
    EXPECT_TRUE(boxes_.Boxes().empty()) << boxes_.Texts().join("|").toStdString();
}

// ---- Logging two instruments in one-minute segments ----

struct LogFileContent {
    QString name;
    QStringList lines;
    bool endsWithLineEnd = false;
    bool crlfOnly = false;
};

LogFileContent ReadLogFile(const QString& path) {
    LogFileContent content;
    content.name = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return content;
    }
    const QByteArray bytes = file.readAll();
    content.endsWithLineEnd = bytes.endsWith("\r\n");
    content.crlfOnly = bytes.count('\n') == bytes.count("\r\n");
    for (const QByteArray& line : bytes.split('\n')) {
        content.lines << QString::fromLatin1(line.endsWith('\r') ? line.chopped(1) : line);
    }
    if (content.endsWithLineEnd) {
        content.lines.removeLast();
    }
    return content;
}

// The log files of one connection, in the order of their numbers (-0, -1, ...).
std::vector<LogFileContent> LogFilesOf(const QString& folder, const QString& connection) {
    std::vector<LogFileContent> files;
    for (int n = 0;; ++n) {
        const QString path =
            QStringLiteral("%1/Varn Log [%2]-%3.txt").arg(folder, connection).arg(n);
        if (!QFile::exists(path)) {
            return files;
        }
        files.push_back(ReadLogFile(path));
    }
}

bool FileComplete(const LogFileContent& file) {
    return file.endsWithLineEnd && !file.lines.isEmpty() &&
           file.lines.last().startsWith("Log file closed: ");
}

// The messages the simulator sent that the program accepts, trimmed as the program trims them.
std::vector<std::string> AcceptedMessages(const QString& simLog, int& rejected) {
    std::vector<std::string> messages;
    rejected = 0;
    for (const SimSlot& slot : ReadSimLog(simLog)) {
        EXPECT_LE(slot.accepted, 1) << slot.seq;
        if (slot.accepted == 1) {
            EXPECT_EQ(slot.status, "ok") << slot.seq;
            messages.push_back(TrimMessage(slot.bytes));
        } else if (slot.status == "bad-checksum") {
            ++rejected;
        }
    }
    return messages;
}

class EndToEndLogging : public EndToEnd {
protected:
    void SetUpLogDialog(const QString& folder) {
        TfrmLogDlg& log = *program_->Windows().frmLogDlg;
        program_->Choose("Logging1");
        ASSERT_TRUE(WaitFor([&] { return log.isVisible(); }, 5000));
        log.edDir->setText(folder);
        log.edFileName->setText(QStringLiteral("Varn Log.txt"));
        log.edMins->setText(QStringLiteral("1"));
        log.cbEnable->setChecked(true);
        log.cbAppendRecordCount->setChecked(true);
        log.cbAppendTimeStamp->setChecked(true);
        log.reLogDescription->setPlainText(QStringLiteral("Mast 3 trial\nBoth heads"));
        boxes_.Clear();
        log.Button1->click();
        EXPECT_EQ(boxes_.Texts(), QStringList{"Select File->Log->Start to start logging"});
        EXPECT_FALSE(log.isVisible());
    }

    // Header, records and closing line of every file; the records' messages in order, with
    // their numbers checked to run from 1 in each file.
    std::vector<std::string> CheckFiles(const std::vector<LogFileContent>& files,
                                        const QString& name, const QString& format) {
        std::vector<std::string> messages;
        for (const LogFileContent& file : files) {
            SCOPED_TRACE(file.name.toStdString());
            EXPECT_TRUE(file.crlfOnly);
            EXPECT_TRUE(FileComplete(file));
            if (file.lines.size() < 9) {
                ADD_FAILURE() << "too short: " << file.lines.size() << " lines";
                continue;
            }
            EXPECT_EQ(file.lines[0], "Ventrix Log File ");
            EXPECT_EQ(file.lines[1], "Mast 3 trial");
            EXPECT_EQ(file.lines[2], "Both heads");
            EXPECT_EQ(file.lines[3], "Name: " + name);
            EXPECT_EQ(file.lines[4], "Output Format: " + format);
            EXPECT_TRUE(file.lines[5].startsWith("Log file opened: ") && file.lines[5].size() > 20)
                << file.lines[5].toStdString();
            EXPECT_EQ(file.lines[6], "");
            const qsizetype last = file.lines.size() - 1;
            for (qsizetype i = 7; i < last; ++i) {
                // message,<record number>,<date> <time>
                const QString& record = file.lines[i];
                const qsizetype stampComma = record.lastIndexOf(',');
                const qsizetype numberComma = record.lastIndexOf(',', stampComma - 1);
                EXPECT_TRUE(numberComma > 0 && record.mid(stampComma + 1).contains(' '))
                    << record.toStdString();
                EXPECT_EQ(record.mid(numberComma + 1, stampComma - numberComma - 1),
                          QString::number(i - 6))
                    << record.toStdString();
                messages.push_back(record.left(numberComma).toLatin1().toStdString());
            }
        }
        return messages;
    }

    // The records are exactly the accepted messages that arrived from the message after
    // `before` (the last one shown before Start) to `after` (the last one shown before Stop).
    void ExpectRecordsAreTheSentMessages(const std::vector<std::string>& records,
                                         const QString& simLog, const std::string& before,
                                         const std::string& after) {
        int rejected = 0;
        const std::vector<std::string> sent = AcceptedMessages(simLog, rejected);
        EXPECT_GT(rejected, 0) << "the instrument should have sent some bad checksums";
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.back(), after);
        bool found = false;
        for (std::size_t k = 1; k + records.size() <= sent.size() && !found; ++k) {
            found = sent[k - 1] == before &&
                    std::equal(records.begin(), records.end(), sent.begin() + static_cast<long>(k));
        }
        EXPECT_TRUE(found) << records.size() << " records are not the " << sent.size()
                           << " sent messages after \"" << before << "\"";
    }
};

TEST_F(EndToEndLogging, SegmentFilesHoldExactlyTheAcceptedMessagesInOrder) {
    sims_.push_back(StartSim(21, {"--format", "VARN_UV_TWO_AXIS", "--rate", "4",
                                  "--bad-checksum-every", "7", "--seed", "3"}));
    sims_.push_back(StartSim(
        22, {"--format", "NMEA_POLAR", "--rate", "1", "--bad-checksum-every", "5", "--seed", "4"}));
    program_ = std::make_unique<Program>();
    std::vector<Tchild*> children = {Connect(21, QStringLiteral("VARN_UV_TWO_AXIS")),
                                     Connect(22, QStringLiteral("NMEA_POLAR"))};
    ASSERT_TRUE(children[0] != nullptr && children[1] != nullptr);
    const QString folder = QString::fromStdString(work_ / "logs");
    ASSERT_TRUE(QDir().mkpath(folder));
    SetUpLogDialog(folder);
    boxes_.Clear();
    ASSERT_TRUE(WaitFor([&] { return !LastDataLine(*children[1]).isEmpty(); }, kDataWaitMs));

    std::vector<std::string> before;
    for (Tchild* child : children) {
        before.push_back(LastDataLine(*child).toLatin1().toStdString());
    }
    program_->Choose("StartStop1");
    PanelStatusBar& bar = StatusBar();
    EXPECT_EQ(program_->Action("StartStop1")->text(), "Stop");
    EXPECT_EQ(bar.PanelText(1), "Logging: " + folder + "/");
    EXPECT_EQ(bar.PanelText(2), "0 mins");

    // Three minute ticks a few seconds apart stand in for three minutes.
    constexpr int kTicks = 3;
    constexpr int kSegmentMs = 6000;
    for (int tick = 1; tick <= kTicks; ++tick) {
        Pump(kSegmentMs);
        if (tick == 1) {
            // While logging, the records reach the disk within about a second, not at Stop.
            const std::vector<LogFileContent> current = LogFilesOf(folder, "Anemometer 1");
            ASSERT_EQ(current.size(), 1u);
            EXPECT_GT(current[0].lines.size(), 7 + 10);
            EXPECT_FALSE(FileComplete(current[0]));
        }
        program_->Windows().frmLogDlg->Timer1Timer();
        EXPECT_EQ(bar.PanelText(2), QString::number(tick) + " mins");
    }
    Pump(kSegmentMs);

    std::vector<std::string> after;
    for (Tchild* child : children) {
        after.push_back(LastDataLine(*child).toLatin1().toStdString());
    }
    program_->Choose("StartStop1");
    EXPECT_EQ(program_->Action("StartStop1")->text(), "Start");
    EXPECT_EQ(bar.PanelText(1), "Logging stopped");
    EXPECT_FALSE(program_->Windows().frmLogDlg->LogTimerRunning());

    const QStringList names = {"Anemometer 1", "Anemometer 2"};
    const QStringList formats = {"VARN_UV_TWO_AXIS", "NMEA_POLAR"};
    for (std::size_t i = 0; i < children.size(); ++i) {
        SCOPED_TRACE(names[i].toStdString());
        ASSERT_TRUE(WaitFor(
            [&] {
                const std::vector<LogFileContent> files = LogFilesOf(folder, names[i]);
                return files.size() == kTicks + 1 &&
                       std::all_of(files.begin(), files.end(), FileComplete);
            },
            10000))
            << LogFilesOf(folder, names[i]).size() << " files";
        const std::vector<std::string> records =
            CheckFiles(LogFilesOf(folder, names[i]), names[i], formats[i]);
        ExpectRecordsAreTheSentMessages(records, sims_[i]->LogPath(), before[i], after[i]);
    }
    EXPECT_TRUE(boxes_.Boxes().empty()) << boxes_.Texts().join("|").toStdString();
}

TEST_F(EndToEndLogging, AFolderThatIsMissingIsReportedOnceAndTheRecordsFollowWhenItAppears) {
    sims_.push_back(StartSim(23, {"--format", "VARN_UV_TWO_AXIS", "--rate", "4"}));
    program_ = std::make_unique<Program>();
    Tchild* child = Connect(23, QStringLiteral("VARN_UV_TWO_AXIS"));
    ASSERT_NE(child, nullptr);
    const QString folder = QString::fromStdString(work_ / "not-yet");
    SetUpLogDialog(folder);
    boxes_.Clear();

    program_->Choose("StartStop1");
    const QString expected = "Cannot create file " + folder + "/Varn Log [Anemometer 1]-0.txt.";
    ASSERT_TRUE(WaitFor([&] { return !boxes_.Boxes().empty(); }, kDataWaitMs));
    Pump(2000);  // eight more messages fail the same way: no more boxes
    ASSERT_EQ(boxes_.Boxes().size(), 1u) << boxes_.Texts().join("|").toStdString();
    EXPECT_EQ(boxes_.Boxes()[0].text, expected);
    EXPECT_EQ(boxes_.Boxes()[0].caption, "ventrix");

    // Once the folder exists the waiting records go out, the first of them numbered 1.
    ASSERT_TRUE(QDir().mkpath(folder));
    Pump(2000);
    program_->Choose("StartStop1");
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::vector<LogFileContent> files = LogFilesOf(folder, "Anemometer 1");
            return files.size() == 1 && FileComplete(files[0]);
        },
        10000));
    const std::vector<std::string> records =
        CheckFiles(LogFilesOf(folder, "Anemometer 1"), "Anemometer 1", "VARN_UV_TWO_AXIS");
    EXPECT_GT(records.size(), 12u);  // four seconds at 4 Hz, none lost while the folder was missing
    EXPECT_EQ(boxes_.Boxes().size(), 1u) << boxes_.Texts().join("|").toStdString();
}

}  // namespace
}  // namespace vx::e2e
