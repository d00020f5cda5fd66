#include "tests/e2e/E2eSupport.h"

#include "app/Main.h"
#include "app/MdiFrame.h"
#include "app/Newanemdlg.h"
#include "app/Startup.h"
#include "connection/Anemometer.h"
#include "connection/TextPanel.h"

#include <signal.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextBlock>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace vx::e2e {

namespace {

std::vector<std::string> SimArguments(const QStringList& arguments, const QString& logPath) {
    std::vector<std::string> all = {"--log", logPath.toStdString()};
    for (const QString& argument : arguments) {
        all.push_back(argument.toStdString());
    }
    return all;
}

}  // namespace

Sim::Sim(const PortsFolder& ports, int comNumber, const QStringList& arguments,
         const QString& logPath)
    : logPath_(logPath),
      comNumber_(comNumber),
      process_(ports.Folder(), comNumber, SimArguments(arguments, logPath)) {}

bool Sim::Stop(int timeoutMs) {
    process_.Signal(SIGTERM);
    return WaitFor([this] { return !process_.Running(); }, timeoutMs);
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string Unescape(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            const int high = HexValue(text[i + 2]);
            const int low = HexValue(text[i + 3]);
            if (high >= 0 && low >= 0) {
                bytes.push_back(static_cast<char>(high * 16 + low));
                i += 3;
                continue;
            }
        }
        bytes.push_back(text[i]);
    }
    return bytes;
}

}  // namespace

std::vector<SimSlot> ReadSimLog(const QString& path) {
    std::vector<SimSlot> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return entries;
    }
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        const QList<QByteArray> columns = line.split('\t');
        if (columns.size() < 5) {
            continue;
        }
        SimSlot slot;
        slot.seq = columns[0].toStdString();
        slot.status = columns[2].toStdString();
        slot.accepted = columns[3].toInt();
        // The message itself may hold no tab, but keep everything after the 4th column.
        slot.bytes = Unescape(line.mid(columns[0].size() + columns[1].size() + columns[2].size() +
                                       columns[3].size() + 4)
                                  .toStdString());
        entries.push_back(slot);
    }
    return entries;
}

std::string TrimMessage(const std::string& bytes) {
    std::size_t begin = 0;
    std::size_t end = bytes.size();
    while (begin < end && static_cast<unsigned char>(bytes[begin]) <= 32) {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(bytes[end - 1]) <= 32) {
        --end;
    }
    return bytes.substr(begin, end - begin);
}

BoxRecorder::BoxRecorder() {
    previous_ = SetMessageBoxHook([this](const MessageRequest& request) {
        boxes_.push_back(request);
        return request.buttons == MessageButtons::YesNo ? MessageResult::Yes : MessageResult::Ok;
    });
}

BoxRecorder::~BoxRecorder() {
    SetMessageBoxHook(previous_);
}

QStringList BoxRecorder::Texts() const {
    QStringList texts;
    for (const MessageRequest& box : boxes_) {
        texts << box.text;
    }
    return texts;
}

Program::Program() : windows_(CreateProgramWindows()) {
    windows_->parent->show();
}

Program::~Program() = default;

Tparent& Program::Parent() {
    return *windows_->parent;
}

QAction* Program::Action(const char* name) const {
    return windows_->parent->findChild<QAction*>(QString::fromLatin1(name));
}

void Program::Choose(const char* name) {
    if (QAction* action = Action(name)) {
        action->trigger();
    }
}

namespace {

// The dialog fills its port list while it is being shown, handling events in between, before
// its modal loop runs. Its controls are set only once that loop runs: a dialog ended before it
// would leave the loop running with nothing to end it.
bool DialogReady(const TfrmNewAnem& dialog, int loopLevelBefore) {
    return dialog.isVisible() && QThread::currentThread()->loopLevel() > loopLevelBefore;
}

void FillDialog(TfrmNewAnem& dialog, const DialogChoice& choice) {
    auto* port = dialog.findChild<QComboBox*>(QStringLiteral("cbPort"));
    const QString portName = QStringLiteral("COM%1").arg(choice.comNumber);
    const int portIndex = port->findText(portName);
    if (portIndex >= 0) {
        port->setCurrentIndex(portIndex);
    } else {
        port->setEditText(portName);
    }
    auto* baud = dialog.findChild<QComboBox*>(QStringLiteral("cbBaud"));
    baud->setCurrentIndex(baud->findText(choice.baud));
    if (!choice.format.isEmpty()) {
        auto* format = dialog.findChild<QComboBox*>(QStringLiteral("cbOutputFormat"));
        format->setCurrentIndex(format->findText(choice.format));
    }
    if (!choice.name.isEmpty()) {
        dialog.findChild<QLineEdit*>(QStringLiteral("edName"))->setText(choice.name);
    }
}

}  // namespace

Tchild* Program::ConnectThroughDialog(const DialogChoice& choice) {
    TfrmNewAnem& dialog = *windows_->frmNewAnem;
    const std::vector<Tchild*> before = Connections();

    QTimer driver;
    driver.setInterval(20);
    const int loopLevel = QThread::currentThread()->loopLevel();
    QObject::connect(&driver, &QTimer::timeout, &dialog, [&dialog, &driver, choice, loopLevel] {
        if (!DialogReady(dialog, loopLevel)) {
            return;
        }
        driver.stop();
        FillDialog(dialog, choice);
        dialog.findChild<QPushButton*>(QStringLiteral("buAdd"))->click();
        if (dialog.isVisible()) {
            // Refused: the box has been answered; the user gives up.
            dialog.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
        }
    });
    driver.start();
    Choose("New1");
    driver.stop();

    for (Tchild* child : Connections()) {
        if (std::find(before.begin(), before.end(), child) == before.end()) {
            return child;
        }
    }
    return nullptr;
}

std::vector<Tchild*> Program::Connections() const {
    std::vector<Tchild*> children;
    for (QMdiSubWindow* window : windows_->parent->Frame().subWindowList(QMdiArea::CreationOrder)) {
        if (auto* child = qobject_cast<Tchild*>(window->widget())) {
            children.push_back(child);
        }
    }
    return children;
}

TextPanel* Panel(const Tchild& child, const char* name) {
    return child.findChild<TextPanel*>(QString::fromLatin1(name));
}

QString PanelText(const Tchild& child, const char* name) {
    const TextPanel* panel = Panel(child, name);
    return panel != nullptr ? panel->Text() : QStringLiteral("<no %1>").arg(name);
}

QString LastDataLine(Tchild& child) {
    child.FlushDataLines();
    auto* data = child.findChild<QPlainTextEdit*>(QStringLiteral("reData"));
    if (data == nullptr) {
        return {};
    }
    // The view ends with the newest line; an empty last block is the line end after it.
    for (QTextBlock block = data->document()->lastBlock(); block.isValid();
         block = block.previous()) {
        if (!block.text().isEmpty()) {
            return block.text();
        }
    }
    return {};
}

}  // namespace vx::e2e
