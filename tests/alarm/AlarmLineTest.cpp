// The alarm line's DTR as the device sees it. A pseudo-terminal has no modem lines, so the real
// line cannot be watched here: a test double wraps the real POSIX device on a pseudo-terminal,
// claims modem lines, and records every DTR change the serial link makes.
#include "alarm/Alarm.h"
#include "alarm/AlarmHost.h"
#include "platform/MessageBox.h"
#include "platform/SerialDevice.h"
#include "tests/alarm/DtrRecordingDevice.h"
#include "tests/support/PortsFolder.h"
#include "tests/support/PseudoTerminal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vx {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

// The main window's part: every status update lowers the alarm line.
class LoweringHost : public AlarmHost {
public:
    int CurrentUnits() const override { return 0; }
    void ShowAlarmMessage(const std::string& text) override { messages.push_back(text); }
    void UpdateAlarmStatus() override {
        ++statusUpdates;
        if (dialog != nullptr) {
            dialog->LowerAlarmLine();
        }
    }

    TfrmAlarm* dialog = nullptr;
    std::vector<std::string> messages;
    int statusUpdates = 0;
};

class AlarmLineTest : public ::testing::Test {
protected:
    AlarmLineTest() : record(line.SlavePath()) {
        previousFactory_ =
            SetSerialDeviceFactory([this] { return std::make_unique<DtrRecordingDevice>(record); });
        ports.Link(7, line.SlavePath());
        host.dialog = &dialog;
        dialog.SetHost(&host);
        dialog.SetBeep([] {});
        SetMessageBoxHook([this](const MessageRequest& request) {
            boxes.push_back(request.caption.toStdString() + ": " + request.text.toStdString());
            return MessageResult::Ok;
        });
        dialog.FormActivate();  // the threshold field shows the stored 0.00
    }
    ~AlarmLineTest() override {
        SetMessageBoxHook({});
        // No port may outlive the double's factory: close the line before restoring it.
        dialog.SerDtrPort.SetOpen(false);
        SetSerialDeviceFactory(std::move(previousFactory_));
    }

    void ApplyWithAlarmLine() {
        dialog.cbDtr->setChecked(true);
        dialog.cbPort->setEditText("COM7");
        dialog.Button1->click();
        ASSERT_THAT(boxes, IsEmpty());
        ASSERT_TRUE(dialog.UsesPort(7));
    }

    // The events since the line's port was last opened.
    std::vector<std::string> SinceLastOpen() const {
        const std::vector<std::string> events = record.Events();
        const auto open = std::find(events.rbegin(), events.rend(), "open");
        return {open == events.rend() ? events.begin() : open.base() - 1, events.end()};
    }

    test::PortsFolder ports;
    test::PseudoTerminal line;
    LineRecord record;
    LoweringHost host;
    TfrmAlarm dialog;
    std::vector<std::string> boxes;

private:
    SerialDeviceFactory previousFactory_;
};

TEST_F(AlarmLineTest, LineOpensLowAndStaysLowUntilASpeedAlarm) {
    ApplyWithAlarmLine();
    const std::vector<std::string> events = record.Events();
    EXPECT_THAT(events, Not(Contains("dtr on")));
    // A real port raises DTR when it is opened: the line must be lowered explicitly at open.
    const std::vector<std::string> opened = SinceLastOpen();
    ASSERT_GE(opened.size(), 2u);
    EXPECT_EQ(opened.front(), "open");
    EXPECT_EQ(opened[1], "dtr off");
    EXPECT_EQ(host.statusUpdates, 1);
    EXPECT_FALSE(dialog.SerDtrPort.GetDTR());
}

TEST_F(AlarmLineTest, AlarmWhileTheLineWasClosedDoesNotRaiseItAtOpen) {
    dialog.cbDtr->setChecked(true);  // checked but not applied: no port yet
    dialog.RaiseSpeedAlarm("Mast");
    EXPECT_THAT(record.Events(), IsEmpty());
    ApplyWithAlarmLine();
    EXPECT_THAT(record.Events(), Not(Contains("dtr on")));
}

TEST_F(AlarmLineTest, SpeedAlarmRaisesTheLineDirectionAlarmDoesNotStatusResetDrops) {
    ApplyWithAlarmLine();
    record.Clear();

    dialog.RaiseDirectionAlarm("Mast 2");
    EXPECT_THAT(record.Events(), IsEmpty());

    dialog.RaiseSpeedAlarm("Mast 1");
    EXPECT_THAT(record.Events(), ElementsAre("dtr on"));
    EXPECT_EQ(host.messages.size(), 2u);

    // The status bar click: the main window's status update lowers the line.
    host.UpdateAlarmStatus();
    EXPECT_THAT(record.Events(), ElementsAre("dtr on", "dtr off"));
    EXPECT_FALSE(dialog.SerDtrPort.GetDTR());

    // A second alarm after the reset raises it again.
    dialog.RaiseSpeedAlarm("Mast 1");
    EXPECT_THAT(record.Events(), ElementsAre("dtr on", "dtr off", "dtr on"));
}

TEST_F(AlarmLineTest, DtrBoxIsReadWhenTheAlarmFires) {
    ApplyWithAlarmLine();
    record.Clear();

    dialog.cbDtr->setChecked(false);  // unchecked, not applied: the port stays open
    dialog.RaiseSpeedAlarm("Mast");
    EXPECT_THAT(record.Events(), IsEmpty());
    EXPECT_TRUE(dialog.UsesPort(7));

    dialog.cbDtr->setChecked(true);  // checked again, still not applied
    dialog.RaiseSpeedAlarm("Mast");
    EXPECT_THAT(record.Events(), ElementsAre("dtr on"));
}

TEST_F(AlarmLineTest, ReapplyingReopensTheLineLow) {
    ApplyWithAlarmLine();
    dialog.RaiseSpeedAlarm("Mast");
    ASSERT_TRUE(dialog.SerDtrPort.GetDTR());
    record.Clear();

    ApplyWithAlarmLine();
    const std::vector<std::string> events = record.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "close");
    EXPECT_THAT(events, Not(Contains("dtr on")));
    EXPECT_THAT(SinceLastOpen(), Contains("dtr off"));
    EXPECT_FALSE(dialog.SerDtrPort.GetDTR());
}

// Unticking the box and applying lets the line go: DTR dropped before the port closes, so the
// external equipment is not left switched on by a port nobody uses any more.
TEST_F(AlarmLineTest, ApplyingWithoutTheBoxLowersAndClosesTheLine) {
    ApplyWithAlarmLine();
    dialog.RaiseSpeedAlarm("Mast");
    ASSERT_TRUE(dialog.SerDtrPort.GetDTR());
    record.Clear();

    dialog.cbDtr->setChecked(false);
    dialog.Button1->click();
    EXPECT_THAT(record.Events(), ElementsAre("dtr off", "close"));
    EXPECT_FALSE(dialog.SerDtrPort.GetOpen());
    EXPECT_FALSE(dialog.UsesPort(7));
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
}  // namespace vx
