#pragma once
// Helpers for the main-window tests: a stand-in connection window, stand-in dialogs and a
// recorder of message boxes.
//
// The connection window and the alarm, log and connect dialogs are separate components; these
// small real widgets implement the same interfaces and record what the main window asks of them,
// in one shared log so the order across several windows can be checked.

#include "alarm/AlarmHost.h"
#include "app/ConnectDialogOps.h"
#include "connection/ConnectionOps.h"
#include "logging/LogHost.h"
#include "platform/MessageBox.h"

#include <QWidget>

#include <deque>
#include <string>
#include <vector>

namespace vx::test {

using CallLog = std::vector<std::string>;

class RecordingConnection : public QWidget, public ConnectionOps {
public:
    RecordingConnection(std::string name, int comNumber, CallLog& log)
        : name_(std::move(name)), comNumber_(comNumber), log_(log) {
        setMinimumSize(120, 80);
        setWindowTitle(QString::fromStdString(name_));
    }

    void SetUnits(int units) override { Record("SetUnits", units); }
    void SetDisplayMode(int mode) override { Record("SetDisplayMode", mode); }
    void SetYScale(int yScale) override { Record("SetYScale", yScale); }
    void SetDirectionRange(int range) override { Record("SetDirectionRange", range); }
    void SetRoseType(int roseType) override { Record("SetRoseType", roseType); }
    void SetAveraging(int minutes) override { Record("SetAveraging", minutes); }
    void SetAlarmSettings(const AlarmSettings& settings) override {
        lastAlarm_ = settings;
        log_.push_back(name_ + ":SetAlarmSettings");
    }
    void StartLogging(const std::string& base) override {
        log_.push_back(name_ + ":StartLogging(" + base + ")");
    }
    void StopLogging() override { log_.push_back(name_ + ":StopLogging"); }
    void RequestNewLogFile() override { log_.push_back(name_ + ":RequestNewLogFile"); }
    int ComNumber() const override { return comNumber_; }
    bool IsClosed() const override { return closed_; }

    // Behaves as a settled connection does: a closed one agrees at once, an open one asks.
    bool CloseQuery() override {
        log_.push_back(name_ + ":CloseQuery");
        if (closed_) {
            return true;
        }
        return ShowMessageBox(this, QStringLiteral("Close this connection?"),
                              QString::fromStdString(name_),
                              MessageButtons::YesNo) == MessageResult::Yes;
    }

    std::string Name() const override { return name_; }
    LinkState CurrentLinkState() const override { return linkState; }

    void MarkClosed() { closed_ = true; }
    LinkState linkState = LinkState::Online;
    const AlarmSettings& LastAlarm() const { return lastAlarm_; }
    int throwOnUnits = -1;  // SetUnits with this unit throws

private:
    void Record(const char* operation, int value) {
        if (std::string(operation) == "SetUnits" && value == throwOnUnits) {
            throw std::runtime_error("Connection refused the unit");
        }
        log_.push_back(name_ + ":" + operation + "(" + std::to_string(value) + ")");
    }

    std::string name_;
    int comNumber_;
    CallLog& log_;
    bool closed_ = false;
    AlarmSettings lastAlarm_;
};

class FakeAlarmDialog : public AlarmDialogOps {
public:
    void ShowAlarmDialog() override { ++shown; }
    const AlarmSettings& CurrentAlarmSettings() const override { return settings; }
    void LowerAlarmLine() override { ++linesLowered; }
    bool UsesPort(int comNumber) const override { return comNumber == linePort; }

    AlarmSettings settings;
    int linePort = 0;
    int shown = 0;
    int linesLowered = 0;
};

class FakeLogDialog : public LogDialogOps {
public:
    void ShowLogDialog() override { ++shown; }
    std::string LogFileName() const override { return fileName; }
    void StartLogTimer() override { timerRunning = true; }
    void StopLogTimer() override { timerRunning = false; }

    std::string fileName = "/data/wind logs/Varn Log.txt";
    bool timerRunning = false;
    int shown = 0;
};

class FakeConnectDialog : public ConnectDialogOps {
public:
    bool ShowConnectDialog() override {
        ++shown;
        return answerOk;
    }
    int ChosenFormatPosition() const override { return formatPosition; }

    bool answerOk = true;
    int formatPosition = 1;
    int shown = 0;
};

// Records every message box and answers from a queue (Yes/Ok when the queue is empty).
class MessageBoxRecorder {
public:
    MessageBoxRecorder() {
        previous_ = SetMessageBoxHook([this](const MessageRequest& request) {
            boxes.push_back(request);
            if (answers.empty()) {
                return request.buttons == MessageButtons::YesNo ? MessageResult::Yes
                                                                : MessageResult::Ok;
            }
            const MessageResult answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    ~MessageBoxRecorder() { SetMessageBoxHook(previous_); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<MessageRequest> boxes;
    std::deque<MessageResult> answers;

private:
    MessageBoxHook previous_;
};

}  // namespace vx::test
