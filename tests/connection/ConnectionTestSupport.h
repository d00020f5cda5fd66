#pragma once
// Helpers of the connection window tests: framed messages, a private ports folder, the real
// ventrix-sim as a child process, a pseudo-terminal the test drives itself, and message boxes
// answered and recorded instead of shown.

#include "platform/MessageBox.h"

#include <QProcess>
#include <QString>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::conntest {

// STX body ETX checksum CR, and "$" body "*" checksum CR.
std::string StxMessage(std::string_view body);
std::string NmeaMessage(std::string_view body);

// Handles events until pred() holds or timeoutMs passed; returns pred().
bool WaitFor(const std::function<bool()>& pred, int timeoutMs);
// Handles events for a while.
void Pump(int milliseconds);

// A fresh folder under the temporary folder (mode 0700), removed with its content at the end.
// It also serves as the ports folder: VENTRIX_PORTS_DIR points to it while it exists.
class PortsFolder {
public:
    PortsFolder();
    ~PortsFolder();
    const std::string& Path() const { return path_; }
    // Links COMn to a path (which need not exist).
    void Link(int comNumber, const std::string& target) const;

private:
    std::string path_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};

// ventrix-sim on port n of the folder, started with the arguments; Ready() once its banner's
// "ready" line arrived.
class SimChild {
public:
    SimChild(const PortsFolder& folder, int comNumber, const QStringList& arguments);
    ~SimChild();
    bool Ready() const { return ready_; }
    const QString& Banner() const { return banner_; }
    // The pseudo-terminal's device, from the banner.
    std::string Device() const;
    // Still running (a simulator told to vanish ends by itself).
    bool Running() const { return process_.state() != QProcess::NotRunning; }

private:
    QProcess process_;
    bool ready_ = false;
    QString banner_;
};

// The lines of the simulator's --log file that record a message slot (comments left out).
std::vector<std::string> SimLogSlots(const std::string& path);

// A pseudo-terminal whose device is linked as COMn: the test writes what the instrument says
// and reads what the program sent.
class TestLine {
public:
    TestLine(const PortsFolder& folder, int comNumber);
    ~TestLine();
    bool IsOpen() const { return master_ >= 0; }
    // The instrument's end goes away: the program's side sees a hang-up.
    void Close();
    const std::string& Device() const { return device_; }
    void Write(const std::string& bytes);
    // Everything the program has written so far and not yet read.
    std::string ReadSent();

private:
    int master_ = -1;
    std::string device_;
};

// Records every message box and answers it; restores the previous hook at the end.
class BoxRecorder {
public:
    explicit BoxRecorder(MessageResult answer = MessageResult::Yes);
    ~BoxRecorder();
    void SetAnswer(MessageResult answer) { answer_ = answer; }
    const std::vector<MessageRequest>& Boxes() const { return boxes_; }
    int Count() const { return static_cast<int>(boxes_.size()); }

private:
    MessageResult answer_;
    std::vector<MessageRequest> boxes_;
    MessageBoxHook previous_;
};

}  // namespace vx::conntest
