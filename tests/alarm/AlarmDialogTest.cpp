#include "alarm/Alarm.h"
#include "alarm/AlarmCheck.h"
#include "alarm/AlarmHost.h"
#include "platform/MessageBox.h"
#include "tests/support/PortsFolder.h"
#include "tests/support/PseudoTerminal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx {
namespace {

using ::testing::ElementsAre;

class RecordingHost : public AlarmHost {
public:
    int CurrentUnits() const override { return units; }
    void ShowAlarmMessage(const std::string& text) override { messages.push_back(text); }
    void UpdateAlarmStatus() override { ++statusUpdates; }

    int units = 0;
    std::vector<std::string> messages;
    int statusUpdates = 0;
};

class AlarmDialogTest : public ::testing::Test {
protected:
    AlarmDialogTest() {
        dialog.SetHost(&host);
        // A beep cannot be heard here: count the calls instead.
        dialog.SetBeep([this] { ++beeps; });
        SetMessageBoxHook([this](const MessageRequest& request) {
            boxes.push_back(request.caption.toStdString() + ": " + request.text.toStdString());
            return MessageResult::Ok;
        });
        ports.Link(7, line.SlavePath());
        ports.Link(8, "/dev/vx-no-such-device");
        ports.Link(9, spare.SlavePath());
        dialog.FormActivate();
    }
    ~AlarmDialogTest() override { SetMessageBoxHook({}); }

    void ApplyWithAlarmLine(const QString& port) {
        dialog.cbDtr->setChecked(true);
        dialog.cbPort->setEditText(port);
        dialog.Button1->click();
    }

    test::PortsFolder ports;
    test::PseudoTerminal line;
    test::PseudoTerminal spare;
    RecordingHost host;
    TfrmAlarm dialog;
    int beeps = 0;
    std::vector<std::string> boxes;
};

TEST_F(AlarmDialogTest, StartsWithItsControlsInTheirInitialState) {
    EXPECT_EQ(dialog.windowTitle(), "Alarm Configuration");
    EXPECT_EQ(dialog.size(), QSize(462, 472));
    EXPECT_FALSE(dialog.cbEnableWindspeed->isChecked());
    EXPECT_TRUE(dialog.rbTriggerAbove->isChecked());
    EXPECT_EQ(dialog.rbTriggerAbove->text(), "Trigger Above");
    EXPECT_EQ(dialog.rbTriggerBelow->text(), "Trigger Below");
    EXPECT_FALSE(dialog.cbEnableDirection->isChecked());
    EXPECT_EQ(dialog.edDirection1->text(), "90");
    EXPECT_EQ(dialog.edDirection2->text(), "180");
    EXPECT_FALSE(dialog.cbSpeaker->isChecked());
    EXPECT_EQ(dialog.cbSpeaker->text(), "PC Speaker");
    EXPECT_FALSE(dialog.cbDtr->isChecked());
    EXPECT_EQ(dialog.cbDtr->text(), "External (DTR toggle) on port:");
    EXPECT_TRUE(dialog.cbPort->currentText().isEmpty());
    EXPECT_EQ(dialog.Button1->text(), "Apply");
    EXPECT_FALSE(dialog.SerDtrPort.GetOpen());
    EXPECT_FALSE(dialog.SerDtrPort.GetDTR());
    EXPECT_FALSE(dialog.SerDtrPort.GetPromptForPort());
    EXPECT_FALSE(dialog.SerDtrPort.GetAutoOpen());
    const AlarmSettings& settings = dialog.CurrentAlarmSettings();
    EXPECT_FALSE(settings.SpeedAlarmOn || settings.DirectionAlarmOn || settings.TriggerAbove);
    EXPECT_EQ(settings.SpeedThreshold, 0);
    for (const char* name : {"cbEnableWindspeed", "rgWindSpeedTrigger", "edWindSpeedThreshold",
                             "laUnits", "cbEnableDirection", "edDirection1", "edDirection2",
                             "cbSpeaker", "cbDtr", "cbPort", "Button1"}) {
        EXPECT_NE(dialog.findChild<QWidget*>(name), nullptr) << name;
    }
}

TEST_F(AlarmDialogTest, ShowingListsAvailablePortsAndKeepsTypedText) {
    dialog.cbPort->setEditText("COM3x");
    dialog.FormShow();
    QStringList listed;
    for (int i = 0; i < dialog.cbPort->count(); ++i) {
        listed << dialog.cbPort->itemText(i);
    }
    EXPECT_TRUE(listed.contains("COM7"));
    EXPECT_TRUE(listed.contains("COM9"));
    EXPECT_FALSE(listed.contains("COM8"));  // its device does not exist
    EXPECT_EQ(dialog.cbPort->currentText(), "COM3x");
}

TEST_F(AlarmDialogTest, ThresholdIsTypedAndShownInTheCurrentUnit) {
    dialog.edWindSpeedThreshold->clear();
    dialog.FormActivate();
    EXPECT_EQ(dialog.laUnits->text(), "m/s");
    EXPECT_EQ(dialog.edWindSpeedThreshold->text(), "0.00");

    host.units = 1;
    dialog.FormActivate();
    EXPECT_EQ(dialog.laUnits->text(), "knots");
    dialog.edWindSpeedThreshold->setText("20");
    dialog.Button1->click();
    EXPECT_DOUBLE_EQ(dialog.CurrentAlarmSettings().SpeedThreshold, 20 / 1.944);

    host.units = 2;
    dialog.FormActivate();
    EXPECT_EQ(dialog.laUnits->text(), "mph");
    EXPECT_EQ(dialog.edWindSpeedThreshold->text(), "23.01");
    dialog.edWindSpeedThreshold->setText("99");  // typed, not applied
    dialog.FormActivate();
    EXPECT_EQ(dialog.edWindSpeedThreshold->text(), "23.01");
}

TEST_F(AlarmDialogTest, ApplyStoresSettingsUpdatesStatusAndCloses) {
    dialog.show();
    dialog.cbEnableWindspeed->setChecked(true);
    dialog.cbEnableDirection->setChecked(true);
    dialog.rbTriggerBelow->setChecked(true);
    dialog.edWindSpeedThreshold->setText("4.5");
    dialog.edDirection1->setText("350");
    dialog.edDirection2->setText("10");
    dialog.Button1->click();
    const AlarmSettings& settings = dialog.CurrentAlarmSettings();
    EXPECT_TRUE(settings.SpeedAlarmOn);
    EXPECT_TRUE(settings.DirectionAlarmOn);
    EXPECT_FALSE(settings.TriggerAbove);
    EXPECT_EQ(settings.SpeedThreshold, 4.5);
    EXPECT_EQ(settings.DirectionFrom, 350);
    EXPECT_EQ(settings.DirectionTo, 10);
    EXPECT_EQ(host.statusUpdates, 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(boxes.empty());
}

// A refused Apply changes nothing: a later status-bar click or a new connection would otherwise
// arm what was half applied.
TEST_F(AlarmDialogTest, ARefusedApplyChangesNothing) {
    dialog.show();
    dialog.cbEnableDirection->setChecked(true);
    dialog.edDirection1->setText("10");
    dialog.edDirection2->setText("20");
    dialog.Button1->click();
    ASSERT_EQ(host.statusUpdates, 1);
    const AlarmSettings before = dialog.CurrentAlarmSettings();

    struct Attempt {
        const char* threshold;
        const char* from;
        const char* to;
        const char* box;
    };
    for (const Attempt& a :
         {Attempt{"abc", "45", "90", "'abc' is not a valid floating point value."},
          Attempt{"5", "x", "90", "'x' is not a valid floating point value."},
          Attempt{"5", "45", "1,5", "'1,5' is not a valid floating point value."}}) {
        dialog.show();
        boxes.clear();
        dialog.cbEnableWindspeed->setChecked(true);
        dialog.cbEnableDirection->setChecked(false);
        dialog.rbTriggerBelow->setChecked(true);
        dialog.edWindSpeedThreshold->setText(a.threshold);
        dialog.edDirection1->setText(a.from);
        dialog.edDirection2->setText(a.to);
        dialog.Button1->click();
        EXPECT_THAT(boxes, ElementsAre(std::string("ventrix: ") + a.box));
        const AlarmSettings& after = dialog.CurrentAlarmSettings();
        EXPECT_EQ(after.SpeedAlarmOn, before.SpeedAlarmOn) << a.box;
        EXPECT_EQ(after.DirectionAlarmOn, before.DirectionAlarmOn) << a.box;
        EXPECT_EQ(after.TriggerAbove, before.TriggerAbove) << a.box;
        EXPECT_EQ(after.SpeedThreshold, before.SpeedThreshold) << a.box;
        EXPECT_EQ(after.DirectionFrom, before.DirectionFrom) << a.box;
        EXPECT_EQ(after.DirectionTo, before.DirectionTo) << a.box;
        EXPECT_TRUE(dialog.isVisible());
    }
    // Nor does a port that will not open.
    dialog.edWindSpeedThreshold->setText("5");
    dialog.edDirection1->setText("45");
    dialog.edDirection2->setText("90");
    ApplyWithAlarmLine("COM8");
    EXPECT_FALSE(dialog.CurrentAlarmSettings().SpeedAlarmOn);
    EXPECT_EQ(dialog.CurrentAlarmSettings().DirectionFrom, 10);
    EXPECT_EQ(host.statusUpdates, 1);
}

TEST_F(AlarmDialogTest, SpeedAlarmRaisesTheLineAndDirectionAlarmDoesNot) {
    dialog.cbSpeaker->setChecked(true);
    ApplyWithAlarmLine("COM7");
    ASSERT_TRUE(dialog.SerDtrPort.GetOpen());
    EXPECT_TRUE(dialog.UsesPort(7));
    EXPECT_FALSE(dialog.UsesPort(9));
    EXPECT_FALSE(dialog.SerDtrPort.GetDTR());
    EXPECT_EQ(host.statusUpdates, 1);

    dialog.RaiseDirectionAlarm("Mast 2");
    EXPECT_FALSE(dialog.SerDtrPort.GetDTR());
    EXPECT_EQ(beeps, 0);
    dialog.RaiseSpeedAlarm("Mast 1");
    EXPECT_TRUE(dialog.SerDtrPort.GetDTR());
    EXPECT_EQ(beeps, 1);
    EXPECT_THAT(host.messages,
                ElementsAre("Direction alarm triggered by Mast 2 - click here to reset",
                            "Windspeed alarm triggered by Mast 1 - click here to reset"));
    dialog.LowerAlarmLine();
    EXPECT_FALSE(dialog.SerDtrPort.GetDTR());

    // Apply without the box lets the line go: its port is free for a connection again.
    dialog.RaiseSpeedAlarm("Mast 1");
    ASSERT_TRUE(dialog.SerDtrPort.GetDTR());
    dialog.cbDtr->setChecked(false);
    dialog.Button1->click();
    EXPECT_FALSE(dialog.UsesPort(7));
    EXPECT_FALSE(dialog.SerDtrPort.GetOpen());
    EXPECT_FALSE(dialog.SerDtrPort.GetDTR());
    TSerComPort connection;
    connection.SetAutoOpen(false);
    connection.SetPromptForPort(false);
    connection.SetComNumber(7);
    EXPECT_NO_THROW(connection.SetOpen(true));
    EXPECT_TRUE(connection.GetOpen());
    // Unchecked now: an alarm leaves the line alone.
    dialog.RaiseSpeedAlarm("Mast 1");
    EXPECT_FALSE(dialog.SerDtrPort.GetDTR());
}

TEST_F(AlarmDialogTest, AlarmLineThatCannotOpenIsRefusedAndUnchecked) {
    dialog.show();
    for (const char* port : {"COM8", "COMx", "COM51"}) {
        boxes.clear();
        ApplyWithAlarmLine(port);
        EXPECT_THAT(boxes, ElementsAre("Error: Unable to open port")) << port;
        EXPECT_FALSE(dialog.cbDtr->isChecked());
        EXPECT_FALSE(dialog.SerDtrPort.GetOpen());
        EXPECT_TRUE(dialog.isVisible());
    }
    EXPECT_EQ(host.statusUpdates, 0);
}

TEST_F(AlarmDialogTest, AlarmLineHeldByAnotherPortIsRefused) {
    TSerComPort holder;
    holder.SetAutoOpen(false);
    holder.SetPromptForPort(false);
    holder.SetComNumber(9);
    holder.SetOpen(true);
    ASSERT_TRUE(holder.GetOpen());
    ApplyWithAlarmLine("COM9");
    EXPECT_THAT(boxes, ElementsAre("Error: Unable to open port"));
    EXPECT_FALSE(dialog.UsesPort(9));
}

TEST_F(AlarmDialogTest, CheckBoxesAreReadWhenTheAlarmFires) {
    dialog.cbSpeaker->setChecked(true);  // checked, never applied
    dialog.RaiseSpeedAlarm("Mast");
    EXPECT_EQ(beeps, 1);
    dialog.cbSpeaker->setChecked(false);
    dialog.RaiseSpeedAlarm("Mast");
    EXPECT_EQ(beeps, 1);
}

// A connection's tests reach the dialog as their sink: the fourth message of 10.5, 9, 10.5,
// 10.5 over a 10 m/s threshold puts the alarm on the status bar.
TEST_F(AlarmDialogTest, ConnectionAlarmReachesTheStatusBarThroughTheDialog) {
    dialog.cbEnableWindspeed->setChecked(true);
    dialog.edWindSpeedThreshold->setText("10");
    dialog.Button1->click();
    ConnectionAlarms alarms;
    alarms.SetAlarmSettings(dialog.CurrentAlarmSettings());
    for (double speed : {10.5, 9.0, 10.5}) {
        alarms.CheckAlarms("Anemometer 1", speed, 0, dialog);
    }
    EXPECT_TRUE(host.messages.empty());
    alarms.CheckAlarms("Anemometer 1", 10.5, 0, dialog);
    EXPECT_THAT(host.messages,
                ElementsAre("Windspeed alarm triggered by Anemometer 1 - click here to reset"));
}

}  // namespace
}  // namespace vx
