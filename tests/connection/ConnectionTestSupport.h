#pragma once
// Helpers of the connection window tests: framed messages, a private ports folder, the real
// ventrix-sim as a child process, a pseudo-terminal the test drives itself, and message boxes
// answered and recorded instead of shown.

#include "connection/DataPage.h"
#include "connection/GraphPage.h"
#include "platform/MessageBox.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PortsFolder.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/QtWait.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vx::conntest {

// Waits that end early when all is well, long enough for a loaded machine.
inline constexpr int kGenerousMs = 20000;
// The two-axis format the simulator sends by default: its letters and its name.
inline const std::string kUvLetters = "IUVN";
inline const std::string kUvName = "VARN_UV_TWO_AXIS";

// STX body ETX checksum CR, and "$" body "*" checksum CR.
std::string StxMessage(std::string_view body);
std::string NmeaMessage(std::string_view body);

using test::Pump;
using test::WaitFor;

// A private ports folder (VENTRIX_PORTS_DIR while it lives) that also serves as the test's
// scratch folder.
using PortsFolder = test::PortsFolder;

// ventrix-sim on port n of the folder, started with the arguments; Ready() once its banner's
// "ready" line arrived.
class SimChild : public test::SimProcess {
public:
    SimChild(const PortsFolder& folder, int comNumber, const QStringList& arguments);
    QString Banner() const { return QString::fromStdString(test::SimProcess::Banner()); }
};

// The lines of the simulator's --log file that record a message slot (comments left out).
std::vector<std::string> SimLogSlots(const std::string& path);

// A pseudo-terminal whose device is linked as COMn: the test writes what the instrument says
// and reads what the program sent.
class TestLine : public test::PseudoTerminal {
public:
    TestLine(const PortsFolder& folder, int comNumber) { folder.Link(comNumber, SlavePath()); }
    // The instrument's end goes away: the program's side sees a hang-up.
    void Close() { CloseMaster(); }
    const std::string& Device() const { return SlavePath(); }
    // What fits now: nobody listening yet, or the queue is full, the instrument talks on.
    void Write(const std::string& bytes) { Offer(bytes); }
    // Everything the program has written so far and not yet read.
    std::string ReadSent() { return ReadAvailable(); }
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

// A page of a connection window, found by its object name; throws when the window has none.
template <typename Page>
const Page& PageOf(const QWidget& window, const char* objectName) {
    const auto* page = window.findChild<const Page*>(QString::fromLatin1(objectName));
    if (page == nullptr) {
        throw std::logic_error(std::string("no page ") + objectName);
    }
    return *page;
}
inline const GraphPage& GraphOf(const QWidget& window) {
    return PageOf<GraphPage>(window, "tsGraph");
}
inline const DataPage& DataOf(const QWidget& window) {
    return PageOf<DataPage>(window, "tsData");
}

}  // namespace vx::conntest
