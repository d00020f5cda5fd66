#include "app/Main.h"

#include "app/MdiFrame.h"
#include "app/PanelStatusBar.h"
#include "app/SettingsStore.h"
#include "tests/app/MainWindowFixture.h"

#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTest>

namespace vx {
namespace {

using test::CallLog;
using test::MainWindowTest;

// ---- Creation ----

struct ItemState {
    const char* name;
    const char* caption;
    bool enabled;
    bool checkable;
    bool checked;
};

TEST_F(MainWindowTest, MenuItemsStartWithTheirCaptionsChecksAndEnabling) {
    const ItemState items[] = {
        {"File1", "&File", true, false, false},
        {"New1", "&Connect...", true, false, false},
        {"Exit1", "E&xit", true, false, false},
        {"Log1", "Log", false, false, false},
        {"StartStop1", "Start", true, false, false},
        {"Settings1", "Settings", false, false, false},
        {"Units1", "Units", true, false, false},
        {"ms1", "m/s", true, true, true},
        {"knots1", "Knots", true, true, false},
        {"mph1", "mph", true, true, false},
        {"kph1", "kph", true, true, false},
        {"fpm1", "fpm", true, true, false},
        {"DisplayMode1", "Display Mode", true, false, false},
        {"Polar1", "Polar", true, true, true},
        {"UV1", "UV", true, true, false},
        {"Graph1", "Graph", true, false, false},
        {"GraphYAxis1", "Windspeed Axis Scale", true, false, false},
        {"Y1scale1", "&1 10 m/s", true, true, true},
        {"Y2scale1", "&2 20 m/s", true, true, false},
        {"Y3scale1", "&3 40 m/s", true, true, false},
        {"Y4scale1", "&4 80 m/s", true, true, false},
        {"DirectionAxisScale1", "Direction Axis Scale", true, false, false},
        {"N0359degrees1", "0 - 359 degrees", true, true, true},
        {"N0539degrees1", "0 - 539 degrees", true, true, false},
        {"Windsock1", "Windsock", true, false, false},
        {"RoseType1", "Rose Type", true, false, false},
        {"Angular1", "Angular", true, true, true},
        {"NSEW1", "NSEW", true, true, false},
        {"Maritime1", "Marine", true, true, false},
        {"Averaging1", "Averaging", true, false, false},
        {"Off1", "Off", true, true, true},
        {"N2min1", "2 min", true, true, false},
        {"N10min1", "10 min", true, true, false},
        {"MagAverageType1", "Mag Average Type", true, false, false},
        {"MagVector1", "Vector", true, true, true},
        {"MagScalar1", "Scalar", true, true, false},
        {"DirAverageType1", "Dir Average Type", true, false, false},
        {"DirVector2", "Vector", true, true, true},
        {"DirScalar2", "Scalar", true, true, false},
        {"Alarm1", "Alarm", true, false, false},
        {"Logging1", "Logging", true, false, false},
        {"Window1", "&Window", false, false, false},
        {"Tile1", "&Tile", true, false, false},
        {"Cascade1", "&Cascade", true, false, false},
        {"About1", "Help", true, false, false},
        {"About2", "About", true, false, false},
    };
    for (const ItemState& expected : items) {
        SCOPED_TRACE(expected.name);
        QAction* item = Item(expected.name);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->text(), QString::fromLatin1(expected.caption));
        EXPECT_EQ(item->isEnabled(), expected.enabled);
        EXPECT_EQ(item->isCheckable(), expected.checkable);
        EXPECT_EQ(item->isChecked(), expected.checked);
    }
    EXPECT_EQ(parent_->findChild<QMenu*>("Units1")->parent(),
              parent_->findChild<QMenu*>("Settings1"));
    EXPECT_EQ(parent_->findChild<QMenu*>("GraphYAxis1")->parent(),
              parent_->findChild<QMenu*>("Graph1"));
}

TEST_F(MainWindowTest, StartsWithDefaultSettingsWhenNothingIsStored) {
    EXPECT_EQ(parent_->CurrentUnits(), 0);
    EXPECT_EQ(parent_->DisplayMode(), 1);
    EXPECT_EQ(parent_->YScaleIndex(), 1);
    EXPECT_EQ(parent_->YScale(), 10);
    EXPECT_EQ(parent_->DirectionRange(), 360);
    EXPECT_EQ(parent_->RoseIndex(), 0);
    EXPECT_EQ(parent_->AveragingMinutes(), 0);
    EXPECT_EQ(parent_->MessageTypeIndex(), 1);
    EXPECT_EQ(parent_->DefaultLogFile(), DefaultLogFilePath());
    EXPECT_FALSE(parent_->AlarmArmed());
    EXPECT_FALSE(parent_->LoggingInProgress());
    EXPECT_TRUE(parent_->MagAverageVector());
    EXPECT_TRUE(parent_->DirAverageVector());
    EXPECT_TRUE(parent_->DirectionAxis359());
}

TEST_F(MainWindowTest, WindowIsCentredAndScreenSizeLessSixty) {
    EXPECT_EQ(parent_->windowTitle(), "Ventrix");
    const Qt::WindowFlags flags = parent_->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(parent_->size(), QSize(screen.width() - 60, screen.height() - 60));
    EXPECT_EQ(parent_->pos(), QPoint(screen.x() + 30, screen.y() + 30));
}

// The three panels of old, and a fourth that names connections whose line is in trouble.
TEST_F(MainWindowTest, StatusBarHasThreePanelsAndALinePanel) {
    PanelStatusBar& bar = parent_->StatusBar();
    EXPECT_EQ(bar.objectName(), "sb1");
    ASSERT_EQ(bar.PanelCount(), 4);
    EXPECT_EQ(bar.PanelWidth(0), 350);
    EXPECT_EQ(bar.PanelWidth(1), 350);
    EXPECT_EQ(bar.PanelWidth(2), 50);
    EXPECT_EQ(bar.PanelText(0), "Select File->Connect to start");
    EXPECT_EQ(bar.PanelText(1), "");
    EXPECT_EQ(bar.PanelText(2), "");
    EXPECT_EQ(bar.PanelText(3), "");
}

struct StoredStart {
    const char* name;
    const char* values;
    const char* unitItem;
    int units;
    const char* modeItem;
    int displayMode;
};

class MainWindowStoredStart : public MainWindowTest,
                              public ::testing::WithParamInterface<StoredStart> {};

TEST_P(MainWindowStoredStart, StoredValuesChooseTheMenuItems) {
    config_.WriteStore(GetParam().values);
    CreateWindow();
    EXPECT_TRUE(Item(GetParam().unitItem)->isChecked());
    EXPECT_EQ(parent_->CurrentUnits(), GetParam().units);
    EXPECT_TRUE(Item(GetParam().modeItem)->isChecked());
    EXPECT_EQ(parent_->DisplayMode(), GetParam().displayMode);
}

void PrintTo(const StoredStart& start, std::ostream* out) {
    *out << start.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MainWindowStoredStart,
    ::testing::Values(StoredStart{"UnitsSevenStartsInMetres", "\"Units\"=dword:00000007\n", "ms1",
                                  0, "Polar1", 1},
                      StoredStart{"NegativeUnitsStartInMetres",
                                  "\"Units\"=dword:ffffffff\n\"DisplayMode\"=dword:0\n", "ms1", 0,
                                  "UV1", 0},
                      StoredStart{"DisplayModeTwoStartsInUV",
                                  "\"Units\"=dword:00000003\n\"DisplayMode\"=dword:00000002\n",
                                  "kph1", 3, "UV1", 0},
                      StoredStart{"DisplayModeMinusOneStartsInPolar",
                                  "\"Units\"=dword:00000004\n\"DisplayMode\"=dword:ffffffff\n",
                                  "fpm1", 4, "Polar1", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, StoredUnitSetsTheScaleCaptionsAndStoredTextsAreKept) {
    config_.WriteStore(
        "\"Units\"=dword:1\n\"DisplayMode\"=dword:1\n\"MessageTypeIndex\"=dword:6\n"
        "\"DefaultLogFile\"=\"/srv/mast/log.txt\"\n");
    CreateWindow();
    EXPECT_EQ(YScaleCaptions(),
              QStringList({"&1 20 knots", "&2 40 knots", "&3 80 knots", "&4 160 knots"}));
    EXPECT_EQ(parent_->YScale(), 20);
    EXPECT_EQ(parent_->MessageTypeIndex(), 6);
    EXPECT_EQ(parent_->DefaultLogFile(), "/srv/mast/log.txt");
}

// ---- Global settings pushed to connections ----

TEST_F(MainWindowTest, UnitCaptionsAndTagsFollowTheChosenUnit) {
    Choose("mph1");
    EXPECT_EQ(YScaleCaptions(),
              QStringList({"&1 40 mph", "&2 80 mph", "&3 160 mph", "&4 320 mph"}));
    Choose("kph1");
    EXPECT_EQ(YScaleCaptions(),
              QStringList({"&1 40 kph", "&2 80 kph", "&3 160 kph", "&4 320 kph"}));
    Choose("fpm1");
    EXPECT_EQ(YScaleCaptions(),
              QStringList({"&1 2000 fpm", "&1 4000 fpm", "&1 8000 fpm", "&1 16000 fpm"}));
    EXPECT_EQ(Item("Y4scale1")->data().toInt(), 16000);
    EXPECT_EQ(parent_->YScale(), 2000);
    Choose("ms1");
    EXPECT_EQ(YScaleCaptions(), QStringList({"&1 10 m/s", "&2 20 m/s", "&3 40 m/s", "&4 80 m/s"}));
}

TEST_F(MainWindowTest, KphWithThirdScaleSendsUnitsThenScaleToEveryConnection) {
    AddConnection("A");
    AddConnection("B")->MarkClosed();  // closed connections still get every setting
    Choose("Y3scale1");
    EXPECT_EQ(log_, CallLog({"A:SetYScale(40)", "B:SetYScale(40)"}));
    log_.clear();
    Choose("kph1");
    EXPECT_EQ(log_,
              CallLog({"A:SetUnits(3)", "A:SetYScale(160)", "B:SetUnits(3)", "B:SetYScale(160)"}));
    EXPECT_EQ(parent_->YScale(), 160);
    EXPECT_EQ(parent_->CurrentUnits(), 3);
    EXPECT_EQ(parent_->YScaleIndex(), 3);
}

TEST_F(MainWindowTest, EachMenuChoicePushesItsSetting) {
    AddConnection("A");
    struct Choice {
        const char* item;
        const char* call;
    };
    const Choice choices[] = {
        {"UV1", "A:SetDisplayMode(0)"},
        {"Polar1", "A:SetDisplayMode(1)"},
        {"N0539degrees1", "A:SetDirectionRange(540)"},
        {"N0359degrees1", "A:SetDirectionRange(360)"},
        {"NSEW1", "A:SetRoseType(1)"},
        {"Maritime1", "A:SetRoseType(2)"},
        {"Angular1", "A:SetRoseType(0)"},
        {"N10min1", "A:SetAveraging(10)"},
        {"Off1", "A:SetAveraging(0)"},
        {"Y4scale1", "A:SetYScale(80)"},
    };
    for (const Choice& choice : choices) {
        log_.clear();
        Choose(choice.item);
        EXPECT_EQ(log_, CallLog({choice.call})) << choice.item;
    }
    Choose("N0539degrees1");
    Choose("Maritime1");
    EXPECT_EQ(parent_->DirectionRange(), 540);
    EXPECT_FALSE(parent_->DirectionAxis359());
    EXPECT_EQ(parent_->RoseIndex(), 2);
}

TEST_F(MainWindowTest, AverageTypesAreReadNotSent) {
    AddConnection("A");
    Choose("MagScalar1");
    Choose("DirScalar2");
    EXPECT_TRUE(log_.empty());
    EXPECT_FALSE(parent_->MagAverageVector());
    EXPECT_FALSE(parent_->DirAverageVector());
    Choose("DirVector2");
    EXPECT_TRUE(parent_->DirAverageVector());
    EXPECT_TRUE(Item("MagScalar1")->isChecked());
}

TEST_F(MainWindowTest, AveragingGreysUnitsAndRefusesConnect) {
    Choose("N2min1");
    EXPECT_FALSE(Item("Units1")->isEnabled());
    EXPECT_EQ(parent_->AveragingMinutes(), 2);
    Choose("New1");
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, "Please disable averaging first");
    EXPECT_EQ(boxes_.boxes[0].caption, "Unable to connect.");
    EXPECT_EQ(boxes_.boxes[0].icon, MessageIcon::None);
    EXPECT_EQ(boxes_.boxes[0].buttons, MessageButtons::Ok);

    Choose("Off1");
    EXPECT_TRUE(Item("Units1")->isEnabled());
    Choose("New1");  // no connect dialog attached yet: nothing more is shown
    EXPECT_EQ(boxes_.boxes.size(), 1u);
}

TEST_F(MainWindowTest, ErrorInAConnectionIsShownAndTheOthersStillWork) {
    AddConnection("A")->throwOnUnits = 2;
    Choose("mph1");
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].caption, "ventrix");
    EXPECT_EQ(boxes_.boxes[0].text, "Connection refused the unit.");
    EXPECT_EQ(boxes_.boxes[0].icon, MessageIcon::Error);
    Choose("knots1");
    EXPECT_EQ(parent_->CurrentUnits(), 1);
}

// ---- Ports ----

TEST_F(MainWindowTest, PortInUseIgnoresClosedConnectionsAndCountsTheAlarmLine) {
    AddConnection("A", 1)->MarkClosed();
    AddConnection("B", 3);
    test::FakeAlarmDialog alarm;
    alarm.linePort = 5;
    EXPECT_FALSE(parent_->IsPortInUse(1));
    EXPECT_TRUE(parent_->IsPortInUse(3));
    EXPECT_FALSE(parent_->IsPortInUse(5));
    parent_->SetAlarmDialog(&alarm);
    EXPECT_TRUE(parent_->IsPortInUse(5));
    EXPECT_FALSE(parent_->IsPortInUse(2));
}

// ---- Background ----

TEST_F(MainWindowTest, BackgroundPictureIsStretchedOverTheFrame) {
    parent_->show();
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(QColor(10, 20, 200));
    parent_->SetBackgroundPicture(picture);
    const QImage shown = parent_->Frame().viewport()->grab().toImage();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(QColor(shown.pixel(shown.width() - 2, shown.height() - 2)), QColor(10, 20, 200));
    EXPECT_EQ(QColor(shown.pixel(1, 1)), QColor(10, 20, 200));
}

// The stretched picture is kept for the frame's size: a frame that grows shows the picture over
// all of its new area, and a new picture replaces the kept one.
TEST_F(MainWindowTest, BackgroundPictureFollowsTheFrameSizeAndANewPicture) {
    parent_->show();
    QImage picture(2, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(200, 0, 0));
    picture.setPixel(1, 0, qRgb(0, 0, 200));
    parent_->SetBackgroundPicture(picture);
    const QSize before = parent_->Frame().viewport()->size();
    parent_->Frame().viewport()->grab();
    parent_->resize(parent_->width() + 200, parent_->height() + 100);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return parent_->Frame().viewport()->width() > before.width() + 100; }, 5000));
    QImage shown = parent_->Frame().viewport()->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(shown.width() - 1, shown.height() - 1)), QColor(0, 0, 200));
    EXPECT_EQ(QColor(shown.pixel(0, shown.height() - 1)), QColor(200, 0, 0));
    picture.fill(QColor(0, 150, 0));
    parent_->SetBackgroundPicture(picture);
    shown = parent_->Frame().viewport()->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(shown.width() - 1, 0)), QColor(0, 150, 0));
}

}  // namespace
}  // namespace vx
