// The alarm line's DTR as the device sees it. A pseudo-terminal has no modem lines, so the real
// line cannot be watched here: a test double wraps the real POSIX device on a pseudo-terminal,
// claims modem lines, and records every DTR change the serial link makes.
#include "alarm/Alarm.h"
#include "alarm/AlarmHost.h"
#include "platform/MessageBox.h"
#include "platform/SerialDevice.h"
#include "tests/alarm/AlarmTestSupport.h"

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

// What happened to the devices on one path, in order: "open", "close", "dtr on", "dtr off".
// The serial link may call from its own threads, hence the lock.
class LineRecord {
public:
    explicit LineRecord(const std::string& path) : path_(Resolved(path)) {}
    // Ports are opened through their link in the ports folder.
    void Add(const std::string& path, const char* what) {
        if (Resolved(path) == path_) {
            std::lock_guard lock(lock_);
            events_.push_back(what);
        }
    }
    std::vector<std::string> Events() const {
        std::lock_guard lock(lock_);
        return events_;
    }
    void Clear() {
        std::lock_guard lock(lock_);
        events_.clear();
    }

private:
    static std::filesystem::path Resolved(const std::string& path) {
        std::error_code ignored;
        return std::filesystem::weakly_canonical(path, ignored);
    }

    std::filesystem::path path_;
    mutable std::mutex lock_;
    std::vector<std::string> events_;
};

class DtrRecordingDevice : public SerialDevice {
public:
    explicit DtrRecordingDevice(LineRecord& record)
        : inner_(CreatePosixSerialDevice()), record_(record) {}
    ~DtrRecordingDevice() override { Close(); }

    int Open(const std::string& path) override {
        const int code = inner_->Open(path);
        if (code == 0) {
            record_.Add(path, "open");
        }
        return code;
    }
    void Close() override {
        if (inner_->IsOpen()) {
            record_.Add(inner_->Path(), "close");
        }
        inner_->Close();
    }
    bool IsOpen() const override { return inner_->IsOpen(); }
    int SetQueueSizes(unsigned in, unsigned out) override { return inner_->SetQueueSizes(in, out); }
    int GetLineSettings(LineSettings& settings) override {
        return inner_->GetLineSettings(settings);
    }
    int SetLineSettings(const LineSettings& settings) override {
        return inner_->SetLineSettings(settings);
    }
    unsigned WaitEvent(int timeoutMs, bool forData) override {
        return inner_->WaitEvent(timeoutMs, forData);
    }
    void CancelWaits() override { inner_->CancelWaits(); }
    void ResetCancel() override { inner_->ResetCancel(); }
    bool Vanished() const override { return inner_->Vanished(); }
    long Read(void* buffer, std::size_t size) override { return inner_->Read(buffer, size); }
    long ReadTimed(void* buffer, std::size_t size, int timeoutMs) override {
        return inner_->ReadTimed(buffer, size, timeoutMs);
    }
    long Write(const void* data, std::size_t size) override { return inner_->Write(data, size); }
    int Purge(bool input, bool output) override { return inner_->Purge(input, output); }
    bool HasModemLines() const override { return true; }
    int SetDtr(bool on) override {
        record_.Add(inner_->Path(), on ? "dtr on" : "dtr off");
        return inner_->SetDtr(on);
    }
    int SetRts(bool on) override { return inner_->SetRts(on); }
    int GetModemStatus(std::uint32_t& bits) override { return inner_->GetModemStatus(bits); }
    int QueueCounts(unsigned& in, unsigned& out) override { return inner_->QueueCounts(in, out); }
    const std::string& Path() const override { return inner_->Path(); }

private:
    std::unique_ptr<SerialDevice> inner_;
    LineRecord& record_;
};

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

    PortLinks ports;
    PseudoTerminal line;
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
