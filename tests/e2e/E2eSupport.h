#pragma once
// Runs the real program's windows in this process, as start-up creates them, next to real
// ventrix-sim instruments on pseudo-terminals in a private ports folder. Used by the end-to-end
// tests and by the screenshot driver, so it needs no test framework.

#include "platform/MessageBox.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PortsFolder.h"
#include "tests/support/QtWait.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;

namespace vx {
struct ProgramWindows;
class Tchild;
class TextPanel;
class Tparent;
}  // namespace vx

namespace vx::e2e {

using test::Pump;
using test::WaitFor;

// An environment variable set while it lives, from Qt's bytes.
class ScopedEnv : public test::ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : test::ScopedEnv(name, value.toStdString()) {}
};

// A private ports folder in which COM1..COM50 point to devices that do not exist, so the
// machine's own serial ports never show up; a simulator replaces such a link with its own.
class PortsFolder {
public:
    QString Path() const { return QString::fromStdString(folder_.Path()); }
    const test::PortsFolder& Folder() const { return folder_; }

private:
    test::PortsFolder folder_{test::PortsFolder::Numbers::Absent};
};

// ventrix-sim on COM<comNumber> of the ports folder, with a send log.
class Sim {
public:
    Sim(const PortsFolder& ports, int comNumber, const QStringList& arguments,
        const QString& logPath);

    bool Ready() const { return process_.Ready(); }
    QString Banner() const { return QString::fromStdString(process_.Banner()); }
    const QString& LogPath() const { return logPath_; }
    int ComNumber() const { return comNumber_; }
    // Ends the simulator (SIGTERM) and waits for it, handling events meanwhile so the program
    // reads what it was sent.
    bool Stop(int timeoutMs = 10000);

private:
    QString logPath_;
    int comNumber_;
    test::SimProcess process_;
};

// One message slot of the simulator's send log.
struct SimSlot {
    std::string seq;
    std::string status;
    int accepted = 0;
    std::string bytes;  // unescaped
};
std::vector<SimSlot> ReadSimLog(const QString& path);
// Blanks and control characters at both ends removed, as the program trims a message.
std::string TrimMessage(const std::string& bytes);

// Every message box is recorded and answered (OK, or Yes for a question) instead of shown.
class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    const std::vector<MessageRequest>& Boxes() const { return boxes_; }
    void Clear() { boxes_.clear(); }
    QStringList Texts() const;

private:
    std::vector<MessageRequest> boxes_;
    MessageBoxHook previous_;
};

// The choices made in the connect dialog.
struct DialogChoice {
    int comNumber = 0;
    QString baud = QStringLiteral("9600");
    QString format;  // empty keeps the dialog's choice
    QString name;    // empty keeps the name the dialog proposes
};

// The program's windows as start-up creates them, the main window shown.
class Program {
public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    ProgramWindows& Windows() { return *windows_; }
    Tparent& Parent();
    QAction* Action(const char* name) const;
    // Triggers a menu item as the user would choose it.
    void Choose(const char* name);

    // File, Connect...: fills the dialog, presses "Connect", and presses "Cancel" when the
    // dialog refused and stayed open. The new connection window, or nullptr when none came.
    Tchild* ConnectThroughDialog(const DialogChoice& choice);
    std::vector<Tchild*> Connections() const;

private:
    std::unique_ptr<ProgramWindows> windows_;
};

// Named parts of a connection window.
TextPanel* Panel(const Tchild& child, const char* name);
QString PanelText(const Tchild& child, const char* name);
// The last line of the data page, brought up to date first.
QString LastDataLine(Tchild& child);

}  // namespace vx::e2e
