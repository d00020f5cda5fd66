// The connection's line while it runs: a device that goes away and comes back, an instrument
// that falls quiet, and a unit that only answers polls. Once a second the window looks at the
// line: it shows how old the data is, tests the no-data alarm and, while the device is gone,
// tries to open the same port number again with the same line settings.

#include "connection/Anemometer.h"

#include "connection/ConnectionStatusBar.h"
#include "connection/DigitalStrip.h"
#include "connection/WindsockPage.h"
#include "platform/QtText.h"
#include "platform/SerialDevice.h"
#include "serial/Serexcept.h"
#include "serial/UiThread.h"

#include <QTimer>

#include <cmath>
#include <filesystem>

namespace vx {

namespace {

constexpr int kDetectionPanel = 1;

// The device as the user knows it: the node a ports-folder link leads to (/dev/ttyUSB0 rather
// than ~/.config/ventrix/ports/COM5). Read while the device is there: once it has gone, the
// link leads nowhere.
std::string DeviceShownFor(const std::string& path) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    return error ? path : real.string();
}

}  // namespace

void Tchild::SetupLinkWatch() {
    tmrLinkWatch_ = new QTimer(this);
    tmrLinkWatch_->setObjectName(QStringLiteral("tmrLinkWatch"));
    tmrLinkWatch_->setInterval(kLinkWatchMs);
    connect(tmrLinkWatch_, &QTimer::timeout, this, [this] { tmrLinkWatchTimer(); });
    SerComPort1_.OnDeviceLost = [this](TSerCustomComPort*) { SerComPort1DeviceLost(); };
}

void Tchild::StartLinkWatch() {
    watch_.Start(LinkWatch::Clock::now());
    openedDevice_ = DeviceShownFor(SerComPort1_.DevicePath());
    everOpened_ = true;
    pollsSent_ = 0;
    answeredPoll_ = false;
    polledMode_ = false;
    tmrLinkWatch_->start();
    ShowLinkState();
}

bool Tchild::ConnectOrWait(int comNumber, int baud, const std::string& formatLetters,
                           const std::string& formatName, const std::string& name, char parity,
                           std::string& reason) {
    try {
        Connect(comNumber, baud, formatLetters, formatName, name, parity);
        return true;
    } catch (const ESerException& error) {
        if (!closed_) {
            throw;  // it opened and failed later: as for any connection
        }
        reason = error.what();
    }
    WaitForDevice(formatLetters, formatName);
    return false;
}

// The port never opened: the window becomes what a connection whose device went away is.
void Tchild::WaitForDevice(const std::string& formatLetters, const std::string& formatName) {
    closing_ = false;
    closed_ = false;
    setWindowTitle(ToQString(name_));
    formatLetters_ = formatLetters;
    formatName_ = formatName;
    ApplyFormat();
    alarms_.ResetAlarms();
    FillFormatList();
    watching_ = true;
    watch_.Start(LinkWatch::Clock::now());
    watch_.PortLost();
    openedDevice_ = PortDeviceName(comNumber_);
    everOpened_ = false;
    tmrLinkWatch_->start();
    SetDetectionText(QStringLiteral("Please wait..."));
}

LinkState Tchild::CurrentLinkState() const {
    return shownState_;
}

// ---- The device goes and comes back ----

void Tchild::SerComPort1DeviceLost() {
    if (closed_ || closing_ || watch_.Lost()) {
        return;
    }
    watch_.PortLost();
    // A rate counted across the loss would be wrong: it is measured again on return.
    tmrOutputRate_->stop();
    dpkt_.SetEnabled(false);
    // Release the device and the port's threads now; the watch opens the port afresh, and a new
    // device behind the same number (a re-plugged adapter) is found that way.
    RunShowingErrors([this] { SerComPort1_.SetOpen(false); });
    // No average may span time without data.
    wind_.ResetAverages();
    // Nothing to wait for any more: the window can be closed while it waits for the device.
    SetSettled();
    ShowLinkState();
}

void Tchild::TryReopen() {
    // A loss noticed while a message was being handed over leaves the close to finish after the
    // hand-over: until then the port still counts as open, and opening it would do nothing.
    if (SerComPort1_.GetState() != psClosed) {
        return;
    }
    try {
        OpenPort(comNumber_, baud_, parity_);
    } catch (const ESerException&) {
        return;  // still away, or held by someone else: the next second tries again
    }
    if (SerComPort1_.GetState() != psOpen) {
        return;
    }
    watch_.PortReturned();
    openedDevice_ = DeviceShownFor(SerComPort1_.DevicePath());
    everOpened_ = true;
    ArmFramer();
    SerComPort1_.FlushInBuffer();
    ShowLinkState();
    // Detection waits for seconds while handling events: not inside the watch's own tick, which
    // must go on ticking meanwhile.
    reopening_ = true;
    QTimer::singleShot(0, this, [this] { Redetect(); });
}

// The instrument may have been re-powered or re-configured while it was away: it is detected
// again as on a first connect (the polls, then its output rate), without the box a failure gives
// then.
void Tchild::Redetect() {
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{reopening_};
    if (closed_ || watch_.Lost()) {
        return;
    }
    redetecting_ = true;
    DetectMeasurementMode();
}

// ---- Looking at the line ----

void Tchild::tmrLinkWatchTimer() {
    if (closed_) {
        tmrLinkWatch_->stop();
        return;
    }
    if (watch_.Lost() && !reopening_) {
        TryReopen();
    }
    alarms_.CheckSilence(name_, watch_.SilentSecondsSinceReset(LinkWatch::Clock::now()), host_);
    ShowLinkState();
}

void Tchild::NoteMessage() {
    if (watch_.MessageArrived(LinkWatch::Clock::now(), wind_.OutputRate())) {
        // The gust and the averages start again after a gap: none of them spans time without
        // data. Minimum and maximum stay (they cover everything since the user's last reset).
        wind_.ResetAverages();
    }
    // A unit that was only answering polls is talking by itself now.
    polledMode_ = false;
    if (shownState_ != LinkState::Online || valuesStale_ ||
        StatusText(kDetectionPanel) != detectionText_) {
        ShowLinkState();
    }
}

void Tchild::SetDetectionText(const QString& text) {
    detectionText_ = text;
    ShowLinkState();
}

QString Tchild::LinkTroubleText() const {
    if (watch_.Lost()) {
        return everOpened_ ? QStringLiteral("Port lost: ") + ToQString(openedDevice_) +
                                 QStringLiteral(", waiting for it to return")
                           : QStringLiteral("Port not found: ") + ToQString(openedDevice_) +
                                 QStringLiteral(", waiting for it");
    }
    // Detection says for itself what it hears; a detection that failed has said so already.
    if (!settled_ || redetecting_ || !watch_.EverHeard()) {
        return {};
    }
    if (polledMode_) {
        return QStringLiteral("Unit answers polls only: switch it to continuous output");
    }
    const auto now = LinkWatch::Clock::now();
    if (!watch_.Silent(now, wind_.OutputRate())) {
        return {};
    }
    const auto seconds = static_cast<long long>(std::trunc(watch_.SilentSeconds(now)));
    return QStringLiteral("No data for ") + GeneralText(static_cast<double>(seconds)) +
           QStringLiteral(" s");
}

void Tchild::ShowLinkState() {
    if (!watching_) {
        StatusBar1_->SetPanelText(kDetectionPanel, detectionText_);
        return;
    }
    const LinkState state = watch_.State(LinkWatch::Clock::now(), wind_.OutputRate());
    const QString trouble = LinkTroubleText();
    StatusBar1_->SetPanelText(kDetectionPanel, trouble.isEmpty() ? detectionText_ : trouble);
    StatusBar1_->SetPanelToolTip(kDetectionPanel, trouble);
    SetValuesStale(state != LinkState::Online);
    if (state == shownState_) {
        return;
    }
    shownState_ = state;
    emit LinkStateChanged(state);
    host_.LinkStateChanged(name_, state);
}

// Old values stay readable, in grey, so the last wind seen is still there to read; they turn
// back the moment a message arrives.
void Tchild::SetValuesStale(bool stale) {
    if (stale == valuesStale_) {
        return;
    }
    valuesStale_ = stale;
    paBottom_->SetStale(stale);
    tsWindsock_->SetStale(stale);
}

bool Tchild::Abandoned() const {
    return closed_ || watch_.Lost();
}

}  // namespace vx
