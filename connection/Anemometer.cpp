// The connection's lifecycle: connecting, detecting the instrument and its output rate, the
// message path, the operations of the main window, and closing.

#include "connection/Anemometer.h"

#include "connection/ConnectionStatusBar.h"
#include "connection/DataPage.h"
#include "connection/DigitalStrip.h"
#include "connection/GraphPage.h"
#include "connection/OptionsPage.h"
#include "connection/OutputRate.h"
#include "connection/WindsockPage.h"
#include "logging/LogFlushTimer.h"
#include "platform/EventWait.h"
#include "platform/MessageBox.h"
#include "platform/QtText.h"
#include "serial/Serexcept.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

#include <string>

namespace vx {

namespace {

constexpr char kStxText[] = "\x02";
constexpr char kNmeaStart[] = "$";
constexpr char kCrText[] = "\r";
constexpr int kPortPanel = 0;
constexpr int kFormatPanel = 2;

QString PortText(int comNumber, int baud) {
    // Two spaces after the colon, as the status bar has always shown it.
    return QStringLiteral("COM") + GeneralText(comNumber) + QStringLiteral(":  ") +
           GeneralText(baud);
}

TParity ParityFor(char letter) {
    switch (letter) {
        case 'E':
            return pEven;
        case 'O':
            return pOdd;
        default:
            return pNone;
    }
}

}  // namespace

Tchild::Tchild(ConnectionHost& host, QWidget* parent)
    : QWidget(parent), host_(host), log_(host_.LogSettings()) {
    setObjectName(QStringLiteral("Tchild"));
    wind_.SetViewSink(this);
    BuildWindow();
    SetupTimers();
    SetupSerialLink();
    SetupLinkWatch();
    // The options page offers the formats from the start; Connect selects the one in use.
    FillFormatList();
}

Tchild::~Tchild() {
    // Nothing may reach this window once it starts to go: the framer first, then the port.
    dpkt_.OnStringPacket = nullptr;
    dpkt_.OnTimeout = nullptr;
    dpkt_.SetEnabled(false);
    wind_.SetViewSink(nullptr);
    // Its log goes with the members below; the once-a-second tick must go before it.
    delete logTimer_;
    logTimer_ = nullptr;
}

void Tchild::SetupSerialLink() {
    SerComPort1_.SetAutoOpen(false);
    dpkt_.SetComPort(&SerComPort1_);
    dpkt_.SetStartCond(scString);
    dpkt_.SetEndCond(ecString);
    dpkt_.SetIncludeStrings(true);
    dpkt_.OnStringPacket = [this](TSerDataPacket* sender, const std::string& packet) {
        dpktStringPacket(sender, packet);
    };
    dpkt_.OnTimeout = [this](TSerDataPacket* sender) { dpktTimeout(sender); };
}

// ---- Connecting ----

void Tchild::Connect(int comNumber, int baud, const std::string& formatLetters,
                     const std::string& formatName, const std::string& name, char parity) {
    settled_ = false;
    PageControl1_->setCurrentWidget(tsData_);
    SetDetectionText(QStringLiteral("Please wait..."));

    comNumber_ = comNumber;
    baud_ = baud;
    parity_ = parity;
    name_ = name;
    try {
        OpenPort(comNumber, baud, parity);
    } catch (const ESerException& error) {
        MarkOpenFailed(error.what());
        throw;
    }
    try {
        StatusBar1_->SetPanelText(kPortPanel, PortText(comNumber, baud));
        watching_ = true;
        StartLinkWatch();
        setWindowTitle(ToQString(name));
        formatLetters_ = formatLetters;
        formatName_ = formatName;
        ApplyFormat();

        alarms_.ResetAlarms();
        closed_ = false;
        FillFormatList();
        SerComPort1_.FlushInBuffer();
        DetectMeasurementMode();
        wind_.ClearMaxMin();
    } catch (const ESerException&) {
        // The port failed under us (a device unplugged while we polled it): the window must
        // still be closable, so detection counts as over.
        SetSettled();
        SetDetectionText(QStringLiteral("Detection failed. Close and retry."));
        throw;
    }
}

void Tchild::OpenPort(int comNumber, int baud, char parity) {
    SerComPort1_.SetBaud(baud);
    SerComPort1_.SetComNumber(static_cast<unsigned>(comNumber > 0 ? comNumber : 0));
    SerComPort1_.SetParity(ParityFor(parity));
    SerComPort1_.SetOpen(true);
}

// The port never opened, so there is nothing to detect and nothing to release: the window is
// at once what a closed connection is, and the user can close it without being asked.
void Tchild::MarkOpenFailed(const std::string& reason) {
    closing_ = true;
    closed_ = true;
    StatusBar1_->SetPanelText(kPortPanel, PortText(comNumber_, baud_));
    SetDetectionText(ToQString(reason));
    setWindowTitle(QStringLiteral("Closed..") + ToQString(name_));
    SetSettled();
}

void Tchild::ApplyFormat() {
    wind_.ApplyFormat(formatName_, formatLetters_);
    paBottom_->ShowWPanel(wind_.Format().HasW());
    StatusBar1_->SetPanelText(kFormatPanel, ToQString(formatName_));
    // The next log file (a segment may begin at any message) carries the name and format
    // in use from now on.
    log_.SetConnectionName(name_);
    log_.SetOutputFormatName(formatName_);
    ArmFramer();
}

void Tchild::ArmFramer() {
    dpkt_.SetEnabled(false);
    dpkt_.SetStartString(IsNmeaFormat(formatName_) ? kNmeaStart : kStxText);
    dpkt_.SetEndString(kCrText);
    dpkt_.SetEnabled(true);
}

void Tchild::FillFormatList() {
    const FormatList list = host_.FormatTable().FillFormatList();
    QStringList names;
    for (const std::string& name : list.names) {
        names.append(ToQString(name));
    }
    tsSettings_->SetFormats(names, host_.SelectedFormatPosition(), ToQString(formatName_));
}

void Tchild::SendText(std::string_view text) {
    for (char c : text) {
        SerComPort1_.PutChar(c);
    }
}

void Tchild::WaitMs(int milliseconds) {
    // A wait of its own: a handler that runs meanwhile may start another wait, and each one
    // ends when the timer it started fires.
    QEventLoop loop;
    connect(tmrTimeout_, &QTimer::timeout, &loop, &QEventLoop::quit);
    // A device that goes away ends the wait: there is nothing to hear until it returns.
    connect(this, &Tchild::LinkStateChanged, &loop, &QEventLoop::quit);
    tmrTimeout_->setInterval(milliseconds);
    timeoutFired_ = false;
    tmrTimeout_->start();
    while (!timeoutFired_ && !Abandoned()) {
        if (!ExecLocalLoop(loop)) {
            return;  // the program is quitting: nothing is waited for any more
        }
    }
}

void Tchild::tmrTimeoutTimer() {
    timeoutFired_ = true;
    tmrTimeout_->stop();
}

void Tchild::DetectMeasurementMode() {
    SetDetectionText(QStringLiteral("Detecting Measurement Mode..."));
    QPointer<Tchild> self(this);
    bool heard = false;
    pollsSent_ = 0;
    for (int attempt = 0; attempt < kDetectionTries; ++attempt) {
        WaitMs(kDetectionWaitMs);
        if (self.isNull() || Abandoned()) {
            return;  // closed, or the device went away: its return starts detection again
        }
        if (ApplicationQuitting()) {
            SetSettled();
            return;
        }
        if (wind_.GoodMessages() > 0) {
            heard = true;
            break;
        }
        SendText("Q\r");
        ++pollsSent_;
    }
    if (heard) {
        // A unit that spoke only after a poll, and then not at all while its rate is counted,
        // is in polled mode.
        answeredPoll_ = pollsSent_ > 0;
        wind_.ResetGoodMessages();
        outputRateTag_ = 0;
        tmrOutputRate_->setInterval(kOutputRateIntervalMs);
        tmrOutputRate_->start();
        ratePeriod_.start();
        SetDetectionText(QStringLiteral("Detecting Output Rate..."));
        return;
    }
    SetSettled();
    if (redetecting_) {
        // Back after a loss but not heard yet: it keeps listening with the rate measured before,
        // and the line's state tells the rest. Nobody may be there to answer a box.
        redetecting_ = false;
        SetDetectionText(wind_.OutputRate() > 0
                             ? QStringLiteral("Output Rate: ") + GeneralText(wind_.OutputRate()) +
                                   QStringLiteral(" Hz")
                             : QStringLiteral("Detection failed. Close and retry."));
        return;
    }
    ShowMessageBox(this,
                   QStringLiteral("Unable to detect Anemometer data. Close this connection and "
                                  "retry."),
                   QStringLiteral("Error"), MessageButtons::Ok, MessageIcon::Error);
    SetDetectionText(QStringLiteral("Detection failed. Close and retry."));
}

void Tchild::tmrOutputRateTimer() {
    const double measured =
        MeasuredOutputRate(wind_.RateMessages(), ratePeriod_.restart(), tmrOutputRate_->interval());
    wind_.ResetPackets();
    wind_.ResetRateMessages();
    // The first period began with detection still under way: its count is thrown away.
    if (outputRateTag_ == 0) {
        outputRateTag_ = 1;
        return;
    }
    tmrOutputRate_->stop();
    const double rate = SnapOutputRate(measured);
    if (redetecting_ && rate != wind_.OutputRate()) {
        // Back with another rate: windows sized for the old one must not mix with the new.
        wind_.ResetAverages();
    }
    redetecting_ = false;
    polledMode_ = answeredPoll_ && measured == 0;
    wind_.SetOutputRate(rate);
    SetSettled();
    SetDetectionText(QStringLiteral("Output Rate: ") + GeneralText(rate) + QStringLiteral(" Hz"));
}

void Tchild::SetSettled() {
    if (settled_) {
        return;
    }
    settled_ = true;
    emit SettledChanged();
}

// A start character whose CR never came (a cut cable, a garbled end) makes the framer give up
// the packet after its time-out and stop listening. Only the broken message is lost: listen
// again at once.
void Tchild::dpktTimeout(TSerDataPacket*) {
    ++framerTimeouts_;
    if (!Abandoned()) {
        ArmFramer();
    }
}

// ---- One message ----

void Tchild::dpktStringPacket(TSerDataPacket*, const std::string& packet) {
    if (closed_) {
        return;
    }
    const std::optional<std::string_view> message = wind_.Accept(packet);
    if (message) {
        NoteMessage();
        ProcessMessage(*message);
    }
}

// ---- Operations of the main window ----

void Tchild::SetUnits(int units) {
    wind_.SetUnits(units);
    unitText_ = ToQString(wind_.UnitText());
    tsGraph_->SetUnitText(unitText_);
}

void Tchild::SetAlarmSettings(const AlarmSettings& settings) {
    alarms_.SetAlarmSettings(settings);
    watch_.AlarmsReset(LinkWatch::Clock::now());
}

void Tchild::StartLogging(const std::string& base) {
    if (closing_) {
        return;
    }
    log_.SetConnectionName(name_);
    log_.SetOutputFormatName(formatName_);
    log_.StartLogging(base);
}

void Tchild::StopLogging() {
    if (log_.Logging()) {
        log_.StopLogging();
    }
}

void Tchild::RequestNewLogFile() {
    log_.RequestNewLogFile();
}

// ---- Closing ----

bool Tchild::FormCloseQuery() {
    if (closed_) {
        return true;
    }
    const QString caption = ToQString(name_);
    if (log_.Logging()) {
        ShowMessageBox(this, QStringLiteral("Please stop logging first"), caption);
        return false;
    }
    if (!settled_) {
        // Detection still runs: it ends by itself within seconds.
        return false;
    }
    if (log_.HasUnwrittenRecords()) {
        // Records whose file could not be written wait in memory and go out on the log tick
        // once the disk takes them; the user must know before the window lets them go.
        return ShowMessageBox(
                   this,
                   QStringLiteral("Log records could not be written yet. Close anyway and lose "
                                  "them?"),
                   caption, MessageButtons::YesNo, MessageIcon::Warning) == MessageResult::Yes;
    }
    return ShowMessageBox(this, QStringLiteral("Close this connection?"), caption,
                          MessageButtons::YesNo, MessageIcon::Question) == MessageResult::Yes;
}

void Tchild::closeEvent(QCloseEvent* event) {
    // The window itself never goes: a closed connection stays, minimised, until the program ends.
    event->ignore();
    closeRequestPending_ = false;
    if (closing_ && !closed_) {
        return;
    }
    if (!FormCloseQuery()) {
        return;
    }
    CloseConnection();
    MinimiseWindow();
}

void Tchild::CloseConnection() {
    if (closing_) {
        return;
    }
    closing_ = true;
    StatusBar1_->SetPanelText(kPortPanel, QStringLiteral("CLOSING..."));
    WaitUntilSettled();
    closed_ = true;
    watching_ = false;
    tmrTimeout_->stop();
    tmrOutputRate_->stop();
    tmrLinkWatch_->stop();
    SetValuesStale(false);
    host_.LinkStateChanged(name_, shownState_);
    dpkt_.SetEnabled(false);
    SerComPort1_.SetOpen(false);
    // Gives the device's driver time to let go of the line before anyone opens it again.
    QThread::msleep(kClosePauseMs);
    setWindowTitle(QStringLiteral("Closed..") + windowTitle());
}

void Tchild::WaitUntilSettled() {
    if (settled_) {
        return;
    }
    QEventLoop loop;
    connect(this, &Tchild::SettledChanged, &loop, &QEventLoop::quit);
    while (!settled_) {
        if (!ExecLocalLoop(loop)) {
            return;
        }
    }
}

QWidget* Tchild::FrameWindow() {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        return sub;
    }
    return window();
}

void Tchild::MinimiseWindow() {
    // Later, once the frame has finished with the close request that brought us here.
    QTimer::singleShot(0, this, [this] {
        QWidget* frame = FrameWindow();
        if (!frame->isMinimized()) {
            frame->showMinimized();
        }
    });
}

void Tchild::RequestClose() {
    closeRequestPending_ = false;
    FrameWindow()->close();
}

void Tchild::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    // A closed connection has nothing to show: brought back up, it goes down again.
    if (closed_ && !closeRequestPending_) {
        closeRequestPending_ = true;
        QTimer::singleShot(0, this, [this] { RequestClose(); });
    }
}

QString Tchild::StatusText(int panel) const {
    return StatusBar1_->PanelText(panel);
}

}  // namespace vx
