// The connection window's views fed with packets straight into its packet handler, without a
// port: panels, labels, graph points, data page, averages, options page, alarms and logging.

#include "connection/Anemometer.h"
#include "connection/ConnectionStatusBar.h"
#include "connection/TextPanel.h"
#include "logging/Logdlg.h"
#include "tests/connection/ConnectionTestSupport.h"
#include "tests/support/DefaultConnectionHost.h"
#include "tests/support/TempFolder.h"
#include "widgets/Pgraph.h"
#include "widgets/Varnwindsock.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace vx {
namespace {

using conntest::BoxRecorder;
using conntest::DataOf;
using conntest::GraphOf;
using conntest::StxMessage;
using conntest::WaitFor;

constexpr int kUvFormat = 0;     // VARN_UV_TWO_AXIS     IUVN
constexpr int kPolarFormat = 1;  // VARN_POLAR_TWO_AXIS  IDMN
constexpr int kUvwFormat = 3;    // VARN_UVW_THREE_AXIS  IUVWN

class ConnectionViews : public ::testing::Test {
protected:
    void SetUp() override {
        child_ = std::make_unique<Tchild>(host_);
        child_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(child_.get()));
    }

    template <typename T>
    T* Find(const char* name) const {
        T* found = child_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QString Text(const char* name) const {
        TextPanel* panel = Find<TextPanel>(name);
        return panel != nullptr ? panel->Text() : QString();
    }

    // The Options page as the user works it: name, format, Apply.
    void UseFormat(int position, const QString& name = QStringLiteral("Mast 1")) {
        Find<QLineEdit>("edSetName")->setText(name);
        Find<QComboBox>("cbSetOutputFormat")->setCurrentIndex(position);
        QTest::mouseClick(Find<QPushButton>("buApplySettings"), Qt::LeftButton);
    }
    void ShowPage(const char* name) {
        auto* pages = Find<QTabWidget>("PageControl1");
        pages->setCurrentWidget(Find<QWidget>(name));
    }
    void Feed(const std::string& body) { child_->dpktStringPacket(nullptr, StxMessage(body)); }
    // A polar message: direction in degrees, speed in m/s.
    void FeedPolar(const std::string& direction, const std::string& speed) {
        Feed("Q," + direction + "," + speed + ",M,00");
    }

    DefaultConnectionHost host_;
    std::unique_ptr<Tchild> child_;
};

TEST_F(ConnectionViews, ControlsCarryTheirNamesAndFirstTexts) {
    for (const char* name :
         {"PageControl1", "tsWindsock", "tsData", "tsGraph", "tsSettings", "paWindsock1",
          "paWindsock2", "gbAvgMag", "gbAvgDir", "gbBuildingAvg", "pbBuildingAvg", "reData",
          "pgraph", "edSetName", "cbSetOutputFormat", "buApplySettings", "ResetMaxMin"}) {
        EXPECT_NE(child_->findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
    }
    EXPECT_NE(child_->findChild<QTimer*>(QStringLiteral("tmrTimeout")), nullptr);
    EXPECT_NE(child_->findChild<QTimer*>(QStringLiteral("tmrOutputRate")), nullptr);

    EXPECT_EQ(Text("paDig1"), "0.0 deg");
    EXPECT_EQ(Text("paDig2"), "0.00 m/s");
    EXPECT_EQ(Text("paDig3"), "0.00 m/s");
    for (const char* label :
         {"laDig1Max", "laDig1Min", "laDig2Max", "laDig2Min", "laDig3Max", "laDig3Min"}) {
        EXPECT_EQ(Text(label), "0.0") << label;
    }
    for (const char* label : {"laAverageWindspeed", "laGust", "laMaxGust", "laMinGust"}) {
        EXPECT_EQ(Text(label), "10.00 m/s") << label;
    }
    EXPECT_EQ(Text("laAverageDir"), "0 deg");
    EXPECT_EQ(Text("paWindsockAvg"), "Average: 2 min");
    EXPECT_EQ(Text("paSeries1Key"), "___  u vector");
    EXPECT_EQ(Text("paSeries2Key"), "___ v vector");
    EXPECT_EQ(Find<TextPanel>("paSeries1Key")->TextColour(), QColor(255, 0, 0));
    EXPECT_EQ(Find<TextPanel>("paSeries2Key")->TextColour(), QColor(0, 255, 0));
    EXPECT_EQ(Text("laDirAxisMin"), "0");
    EXPECT_EQ(Text("paRightAxis"), "deg");
    // The axes show their design texts until the window first sets the graph up.
    Tchild unshown(host_);
    auto axisText = [&unshown](const char* name) {
        return unshown.findChild<TextPanel*>(QString::fromLatin1(name))->Text();
    };
    EXPECT_EQ(axisText("laMagAxisMax"), "10");
    EXPECT_EQ(axisText("laMagAxisMin"), "0");
    EXPECT_EQ(axisText("laDirAxisMax"), "360");
    // Shown, they follow the settings, which are all 0 until the main window sends its own.
    EXPECT_EQ(Text("laMagAxisMax"), "0");
    EXPECT_TRUE(Find<QGroupBox>("gbBuildingAvg")->isHidden());

    auto* pages = Find<QTabWidget>("PageControl1");
    ASSERT_EQ(pages->count(), 4);
    EXPECT_EQ(pages->tabText(0), "Windsock");
    EXPECT_EQ(pages->tabText(1), "Data");
    EXPECT_EQ(pages->tabText(2), "Graph");
    EXPECT_EQ(pages->tabText(3), "Options");
    EXPECT_TRUE(Find<QPlainTextEdit>("reData")->isReadOnly());
    EXPECT_EQ(Find<QWidget>("paDig1")->width(), 164);
    EXPECT_EQ(Find<QWidget>("paDig2")->width(), 153);
    EXPECT_EQ(Find<QWidget>("paDig3")->width(), 155);
    EXPECT_EQ(Find<QWidget>("paLeftHandAxis")->width(), 41);
    EXPECT_EQ(Find<QWidget>("paRightAxis")->width(), 33);
}

TEST_F(ConnectionViews, PolarPanelsShowTheDisplayUnit) {
    UseFormat(kPolarFormat);
    child_->SetUnits(1);
    child_->SetDisplayMode(1);
    FeedPolar("090", "005.00");
    EXPECT_EQ(Text("paDig2"), "9.72 knots");
    EXPECT_EQ(Text("laDig2Max"), "9.72");
    EXPECT_EQ(Text("laDig2Min"), "9.72");
    EXPECT_EQ(Text("paDig1"), "90.0 deg");
    EXPECT_EQ(Text("laDig1Max"), "90.0");
}

TEST_F(ConnectionViews, UvPanelsShowSignedComponents) {
    UseFormat(kUvFormat);
    child_->SetUnits(0);
    child_->SetDisplayMode(0);
    Feed("Q,-001.234,+002.000,M,00");
    EXPECT_EQ(Text("paDig1"), "U -1.23 m/s");
    EXPECT_EQ(Text("paDig2"), "V 2.00 m/s");
    EXPECT_EQ(Text("laDig1Min"), "-1.23");
    EXPECT_EQ(Text("laDig2Max"), "2.00");
}

TEST_F(ConnectionViews, GraphPointsScaleToTheAxes) {
    UseFormat(kPolarFormat);
    child_->SetUnits(0);
    child_->SetDisplayMode(1);
    child_->SetYScale(20);
    child_->SetDirectionRange(360);
    ShowPage("tsGraph");
    FeedPolar("270", "010.00");
    EXPECT_EQ(GraphOf(*child_).LastPlotFirst(), 500);
    EXPECT_EQ(GraphOf(*child_).LastPlotSecond(), 750);

    // UV: both series on the speed axis, negative below the centred axis.
    UseFormat(kUvFormat);
    child_->SetDisplayMode(0);
    child_->SetYScale(10);
    Feed("Q,-005.00,+002.50,M,00");
    EXPECT_EQ(GraphOf(*child_).LastPlotFirst(), -500);
    EXPECT_EQ(GraphOf(*child_).LastPlotSecond(), 250);
}

TEST_F(ConnectionViews, GraphBeforeTheSettingsArrivePlotsOnTheAxis) {
    UseFormat(kPolarFormat);
    child_->SetUnits(0);
    child_->SetDisplayMode(1);
    ShowPage("tsGraph");
    FeedPolar("270", "010.00");
    EXPECT_EQ(GraphOf(*child_).LastPlotFirst(), 0);
    EXPECT_EQ(GraphOf(*child_).LastPlotSecond(), 0);
    // A garbled speed far beyond any scale is held within range, not overflowed.
    child_->SetYScale(10);
    child_->SetDirectionRange(360);
    FeedPolar("1e300", "1e300");
    EXPECT_GT(GraphOf(*child_).LastPlotFirst(), 1000);
    EXPECT_GT(GraphOf(*child_).LastPlotSecond(), 1000);
}

TEST_F(ConnectionViews, AxisLabelsFollowModeScaleRangeAndUnit) {
    child_->SetUnits(1);
    child_->SetDisplayMode(0);
    child_->SetYScale(10);
    EXPECT_EQ(Text("laMagAxisMax"), "10");
    EXPECT_EQ(Text("laMagAxisMin"), "-10");
    EXPECT_TRUE(Find<Tpgraph>("pgraph")->AxisCentre());
    EXPECT_EQ(Text("paLeftHandAxis"), "knots");
    EXPECT_TRUE(Find<QWidget>("paRightAxis")->isHidden());
    EXPECT_EQ(Text("paSeries1Key"), "___ u vector");

    child_->SetDisplayMode(1);
    child_->SetDirectionRange(540);
    EXPECT_EQ(Text("laMagAxisMin"), "0");
    EXPECT_FALSE(Find<Tpgraph>("pgraph")->AxisCentre());
    EXPECT_EQ(Text("laDirAxisMax"), "540");
    EXPECT_FALSE(Find<QWidget>("paRightAxis")->isHidden());
    EXPECT_EQ(Text("paSeries1Key"), "___ magnitude");
    EXPECT_EQ(Text("paSeries2Key"), "___ direction");
    EXPECT_EQ(Find<TextPanel>("paSeries2Key")->TextColour(), QColor(0, 0, 255));
    EXPECT_EQ(Find<Tpgraph>("pgraph")->Scale(), 1000);
    EXPECT_EQ(Find<Tpgraph>("pgraph")->GridSize(), 10);

    // Other modes only set the graph up again.
    child_->SetDisplayMode(7);
    EXPECT_EQ(child_->DisplayMode(), 1);
}

TEST_F(ConnectionViews, DataViewHoldsAtMost501Lines) {
    UseFormat(kUvFormat);
    ShowPage("tsData");
    auto* data = Find<QPlainTextEdit>("reData");
    for (int i = 0; i < 501; ++i) {
        Feed("Q,+001.00,+002.00,M,00");
    }
    child_->FlushDataLines();
    EXPECT_EQ(data->document()->blockCount(), 501);
    const std::string last = StxMessage("Q,+003.00,+004.00,M,00");
    child_->dpktStringPacket(nullptr, last);
    EXPECT_EQ(DataOf(*child_).LineCount(), 1);
    // The view catches up by itself within moments.
    EXPECT_TRUE(conntest::WaitFor([&] { return !data->toPlainText().isEmpty(); }, 5000));
    EXPECT_EQ(data->document()->blockCount(), 1);
    // Without STX and CR LF; the ETX before the checksum stays.
    EXPECT_EQ(data->toPlainText().toStdString(), last.substr(1, last.size() - 3));
    EXPECT_TRUE(data->hasFocus() || !child_->isActiveWindow());
}

TEST_F(ConnectionViews, AHiddenDataPageCatchesUpWhenShown) {
    UseFormat(kUvFormat);
    ShowPage("tsGraph");
    Feed("Q,+001.00,+002.00,M,00");
    Feed("Q,+001.50,+002.00,M,00");
    auto* data = Find<QPlainTextEdit>("reData");
    conntest::Pump(120);
    EXPECT_TRUE(data->toPlainText().isEmpty());
    ShowPage("tsData");
    EXPECT_EQ(data->document()->blockCount(), 2);
    EXPECT_TRUE(data->toPlainText().startsWith("Q,+001.00,+002.00,M,00"));
    EXPECT_TRUE(data->hasFocus() || !child_->isActiveWindow());
}

TEST_F(ConnectionViews, RejectedPacketsReachNoView) {
    UseFormat(kUvFormat);
    std::string broken = StxMessage("Q,+001.00,+002.00,M,00");
    broken[broken.size() - 3] = broken[broken.size() - 3] == '0' ? '1' : '0';
    child_->dpktStringPacket(nullptr, broken);
    child_->dpktStringPacket(nullptr,
                             "\x02Q,1\x03"
                             "00\r");  // too short
    EXPECT_EQ(child_->Wind().Packets(), 2);
    EXPECT_EQ(child_->Wind().GoodMessages(), 0);
    EXPECT_EQ(DataOf(*child_).LineCount(), 0);
    EXPECT_EQ(Text("paDig1"), "0.0 deg");
}

TEST_F(ConnectionViews, AveragingOffBlanksTheLabelsWhileTheNeedleFollows) {
    UseFormat(kPolarFormat);
    child_->SetUnits(0);
    child_->SetDisplayMode(1);
    child_->SetAveraging(0);
    ShowPage("tsWindsock");
    EXPECT_EQ(Text("paWindsockAvg"), "Average: Off");
    auto* windsock = child_->findChild<TVarnWindsock*>();
    ASSERT_NE(windsock, nullptr);
    FeedPolar("090.7", "005.00");
    EXPECT_EQ(windsock->Bearing(), 90);
    FeedPolar("200", "005.00");
    EXPECT_EQ(windsock->Bearing(), 200);
    for (const char* label :
         {"laAverageWindspeed", "laAverageDir", "laGust", "laMaxGust", "laMinGust"}) {
        EXPECT_EQ(Text(label), "---") << label;
    }
    child_->SetAveraging(10);
    EXPECT_EQ(Text("paWindsockAvg"), "Average: 10 min");
}

TEST_F(ConnectionViews, AverageTypesNameTheGroupBoxes) {
    UseFormat(kPolarFormat);
    child_->SetUnits(0);
    child_->SetDisplayMode(1);
    child_->SetAveraging(2);
    ShowPage("tsData");  // averaging on refreshes the windsock page even while hidden
    host_.dirAverageVector = false;
    host_.magAverageVector = false;
    FeedPolar("090", "005.00");
    EXPECT_EQ(Find<QGroupBox>("gbAvgDir")->title(), "Average Direction (Scalar)");
    EXPECT_EQ(Find<QGroupBox>("gbAvgMag")->title(), "Average Windspeed (Scalar)");
    host_.dirAverageVector = true;
    host_.magAverageVector = true;
    FeedPolar("090", "005.00");
    EXPECT_EQ(Find<QGroupBox>("gbAvgDir")->title(), "Average Direction (Vector)");
    EXPECT_EQ(Find<QGroupBox>("gbAvgMag")->title(), "Average Windspeed (Vector)");
    // The rate is not known yet: no gust, no averages, and the labels say so in numbers.
    EXPECT_EQ(Text("laGust"), "0.00 m/s");
    EXPECT_TRUE(Find<QGroupBox>("gbBuildingAvg")->isHidden());
}

TEST_F(ConnectionViews, TheWPanelShowsOnlyForFormatsWithW) {
    UseFormat(kPolarFormat);
    EXPECT_TRUE(Find<QWidget>("paDig3")->isHidden());
    UseFormat(kUvwFormat);
    EXPECT_FALSE(Find<QWidget>("paDig3")->isHidden());
    child_->SetUnits(0);
    Feed("Q,+001.00,+002.00,-001.50,M,00");
    EXPECT_EQ(Text("paDig3"), "W -1.50 m/s");
    EXPECT_EQ(Text("laDig3Min"), "-1.50");
}

TEST_F(ConnectionViews, ApplyTakesNameAndFormatAndKeepsTheFormatWhenNoneIsChosen) {
    UseFormat(kUvwFormat, QStringLiteral("Roof"));
    EXPECT_EQ(child_->windowTitle(), "Roof");
    EXPECT_EQ(child_->ConnectionName(), "Roof");
    EXPECT_EQ(child_->FormatName(), "VARN_UVW_THREE_AXIS");
    EXPECT_EQ(child_->StatusText(2), "VARN_UVW_THREE_AXIS");
    UseFormat(-1, QStringLiteral("Roof 2"));
    EXPECT_EQ(child_->FormatName(), "VARN_UVW_THREE_AXIS");
    EXPECT_EQ(child_->windowTitle(), "Roof 2");
    ShowPage("tsSettings");
    EXPECT_EQ(Find<QLineEdit>("edSetName")->text(), "Roof 2");
}

// Minimising a document window hides the connection window inside it, so bringing it back shows
// it again. That is no new showing: the chart keeps its curves and a name being typed on the
// Options page stays.
TEST(ConnectionWindowInFrame, RestoringFromMinimisedKeepsTheChartAndATypedName) {
    DefaultConnectionHost host;
    QMdiArea frame;
    frame.resize(900, 700);
    frame.show();
    auto* child = new Tchild(host);
    QMdiSubWindow* window = frame.addSubWindow(child);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    child->findChild<QComboBox*>(QStringLiteral("cbSetOutputFormat"))
        ->setCurrentIndex(kPolarFormat);
    child->buApplySettingsClick();
    child->SetUnits(0);
    child->SetDisplayMode(1);
    child->SetYScale(10);
    child->SetDirectionRange(360);
    auto* pages = child->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    pages->setCurrentWidget(child->findChild<QWidget*>(QStringLiteral("tsGraph")));
    for (const char* body : {"Q,090,002.00,M,00", "Q,180,008.00,M,00", "Q,270,004.00,M,00"}) {
        child->dpktStringPacket(nullptr, StxMessage(body));
    }
    auto* chart = child->findChild<Tpgraph*>(QStringLiteral("pgraph"));
    const QImage curves = chart->Bitmap().copy();

    auto minimiseAndRestore = [&] {
        window->showMinimized();
        ASSERT_TRUE(WaitFor([&] { return window->isMinimized(); }, 5000));
        // The premise: the inner window is hidden while its frame is minimised.
        EXPECT_FALSE(child->isVisible());
        window->showNormal();
        ASSERT_TRUE(WaitFor([&] { return child->isVisible(); }, 5000));
        conntest::Pump(50);
    };
    minimiseAndRestore();
    EXPECT_TRUE(chart->Bitmap() == curves) << "the chart was cleared";

    pages->setCurrentWidget(child->findChild<QWidget*>(QStringLiteral("tsSettings")));
    auto* name = child->findChild<QLineEdit*>(QStringLiteral("edSetName"));
    name->setText(QStringLiteral("North ma"));
    minimiseAndRestore();
    EXPECT_EQ(name->text(), "North ma");
}

TEST_F(ConnectionViews, ResetMaxMinStartsTheExtremesAgain) {
    UseFormat(kPolarFormat);
    child_->SetUnits(0);
    child_->SetDisplayMode(1);
    FeedPolar("090", "005.00");
    FeedPolar("100", "009.00");
    EXPECT_EQ(Text("laDig2Max"), "9.00");
    QTest::mouseClick(Find<QPushButton>("ResetMaxMin"), Qt::LeftButton);
    FeedPolar("100", "007.00");
    EXPECT_EQ(Text("laDig2Max"), "7.00");
    EXPECT_EQ(Text("laDig2Min"), "7.00");
}

// Directions shown as minimum and maximum come from valid readings only: none before the first,
// and after Reset Max-Min the last valid one, never an out-of-range reading.
TEST_F(ConnectionViews, DirectionExtremesComeFromValidReadingsOnly) {
    UseFormat(kPolarFormat);
    child_->SetUnits(0);
    child_->SetDisplayMode(1);
    FeedPolar("400", "005.00");
    EXPECT_EQ(Text("laDig1Max"), "");
    EXPECT_EQ(Text("laDig1Min"), "");
    FeedPolar("090", "005.00");
    EXPECT_EQ(Text("laDig1Max"), "90.0");
    EXPECT_EQ(Text("laDig1Min"), "90.0");
    FeedPolar("400", "005.00");
    QTest::mouseClick(Find<QPushButton>("ResetMaxMin"), Qt::LeftButton);
    for (const char* direction : {"095", "100", "095"}) {
        FeedPolar(direction, "005.00");
    }
    EXPECT_EQ(Text("laDig1Min"), "90.0");
    EXPECT_EQ(Text("laDig1Max"), "100.0");
}

TEST_F(ConnectionViews, AlarmsRaiseAfterTwoMessagesAndLatch) {
    UseFormat(kPolarFormat, QStringLiteral("North mast"));
    AlarmSettings settings;
    settings.SpeedAlarmOn = true;
    settings.TriggerAbove = true;
    settings.SpeedThreshold = 4.0;
    child_->SetAlarmSettings(settings);
    FeedPolar("090", "005.00");
    EXPECT_TRUE(host_.speedAlarms.empty());
    FeedPolar("100", "005.00");
    ASSERT_EQ(host_.speedAlarms.size(), 1u);
    EXPECT_EQ(host_.speedAlarms[0], "North mast");
    FeedPolar("090", "005.00");
    EXPECT_EQ(host_.speedAlarms.size(), 1u);  // latched
    child_->SetAlarmSettings(settings);
    FeedPolar("090", "005.00");
    EXPECT_EQ(host_.speedAlarms.size(), 2u);
}

TEST_F(ConnectionViews, LoggingRecordsEveryAcceptedMessageAndBlocksTheClose) {
    UseFormat(kPolarFormat, QStringLiteral("Pier"));
    const test::TempFolder folder("vx-conn-log");
    const std::string base = folder / "Wind.txt";
    child_->StartLogging(base);
    EXPECT_TRUE(child_->Logging());
    FeedPolar("090", "005.00");
    Feed("Q,090");  // too few fields: logged all the same
    FeedPolar("095", "006.00");

    BoxRecorder boxes;
    EXPECT_FALSE(child_->FormCloseQuery());
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Boxes()[0].text, "Please stop logging first");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Pier");

    child_->StopLogging();
    EXPECT_FALSE(child_->Logging());
    // The log writer finishes the file on its own thread.
    ASSERT_TRUE(WaitFor([&] { return !child_->Log().HasUnwrittenRecords(); }, 10000));
    std::ifstream in(folder / "Wind [Pier]-0.txt", std::ios::binary);
    ASSERT_TRUE(in.good());
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Name: Pier\r\n"), std::string::npos);
    EXPECT_NE(text.str().find("Q,090,005.00,M,00\x03"), std::string::npos);
    EXPECT_NE(text.str().find("Q,090\x03"), std::string::npos);
    EXPECT_NE(text.str().find("Q,095,006.00,M,00\x03"), std::string::npos);
}

// The Options page renames the connection and changes its format while logging: the file
// that begins at the next segment boundary is named and headed as the connection is now.
TEST_F(ConnectionViews, ANewSegmentFileCarriesTheNameAndFormatSetOnTheOptionsPage) {
    UseFormat(kPolarFormat, QStringLiteral("Pier"));
    const test::TempFolder folder("vx-conn-seg");
    child_->StartLogging(folder / "Wind.txt");
    FeedPolar("090", "005.00");
    UseFormat(kUvFormat, QStringLiteral("Pier head"));
    child_->RequestNewLogFile();
    Feed("Q,+001.00,-002.00,M,00");
    child_->StopLogging();
    ASSERT_TRUE(WaitFor([&] { return !child_->Log().HasUnwrittenRecords(); }, 10000));

    auto read = [&](const char* name) {
        std::ifstream in(folder / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    const std::string first = read("Wind [Pier]-0.txt");
    EXPECT_NE(first.find("Name: Pier\r\nOutput Format: VARN_POLAR_TWO_AXIS\r\n"), std::string::npos)
        << first;
    const std::string second = read("Wind [Pier head]-0.txt");
    EXPECT_NE(second.find("Name: Pier head\r\nOutput Format: VARN_UV_TWO_AXIS\r\n"),
              std::string::npos)
        << second;
    EXPECT_NE(second.find("Q,+001.00,-002.00,M,00\x03"), std::string::npos);
}

// A log folder that does not exist yet: root ignores permission bits, so this is the way to
// make a file that cannot be created. Removed with its parent at the end.
class LateFolder {
public:
    LateFolder() : path_(parent_ / "later") {}
    std::string Base() const { return (path_ / "Wind.txt").string(); }
    std::string File(int number) const {
        return (path_ / ("Wind [Pier]-" + std::to_string(number) + ".txt")).string();
    }
    void Create() const { std::filesystem::create_directory(path_); }

private:
    test::TempFolder parent_{"vx-conn-late"};
    std::filesystem::path path_;
};

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(ConnectionViews, RecordsLeftUnwrittenAtStopFollowOnTheLogTick) {
    UseFormat(kPolarFormat, QStringLiteral("Pier"));
    LateFolder folder;
    child_->StartLogging(folder.Base());
    FeedPolar("090", "005.00");
    FeedPolar("095", "006.00");
    child_->StopLogging();
    EXPECT_FALSE(child_->Logging());
    EXPECT_TRUE(child_->Log().HasUnwrittenRecords());
    // Told from the log tick, once the writer's thread has met the missing folder.
    ASSERT_TRUE(WaitFor([&] { return !host_.logErrors.empty(); }, 10000));
    ASSERT_EQ(host_.logErrors.size(), 1u);
    EXPECT_EQ(host_.logErrors[0], "Cannot create file " + folder.File(0));

    // Nothing else happens in the window: only its log tick can write the file now.
    folder.Create();
    ASSERT_TRUE(WaitFor([&] { return !child_->Log().HasUnwrittenRecords(); }, 10000));
    const std::string text = ReadWhole(folder.File(0));
    EXPECT_NE(text.find("Name: Pier\r\n"), std::string::npos);
    EXPECT_NE(text.find("Q,090,005.00,M,00\x03"), std::string::npos);
    EXPECT_NE(text.find("Q,095,006.00,M,00\x03"), std::string::npos);
    EXPECT_NE(text.find("Log file closed: "), std::string::npos);
    EXPECT_EQ(host_.logErrors.size(), 1u);
}

// The log dialog is where a connection's log errors go in the program: its standard error box.
class LogDialogHost : public DefaultConnectionHost {
public:
    LogEnvironment& LogSettings() override { return dialog; }
    TfrmLogDlg dialog{"/tmp/Varn Log.txt"};
};

TEST(ConnectionLogErrors, AFileThatCannotBeCreatedIsShownOnceInTheStandardErrorBox) {
    LogDialogHost host;
    Tchild child(host);
    child.findChild<QLineEdit*>(QStringLiteral("edSetName"))->setText(QStringLiteral("Pier"));
    child.buApplySettingsClick();
    LateFolder folder;
    BoxRecorder boxes;
    child.StartLogging(folder.Base());
    for (int i = 0; i < 3; ++i) {
        child.dpktStringPacket(nullptr, StxMessage("Q,090,005.00,M,00"));
    }
    child.StopLogging();
    // Shown from the event loop; the log ticks that follow must not show it again.
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() > 0; }, 10000));
    conntest::Pump(1000);
    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Boxes()[0].caption, "ventrix");
    EXPECT_EQ(boxes.Boxes()[0].text.toStdString(), "Cannot create file " + folder.File(0) + ".");
    EXPECT_EQ(boxes.Boxes()[0].icon, MessageIcon::Error);
}

}  // namespace
}  // namespace vx
