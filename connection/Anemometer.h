#pragma once
// Tchild: the window of one anemometer connection. It owns the serial port and its framer, the
// wait and output-rate timers, the wind state, the log and the alarm tests of the connection,
// and hands every message to its four pages (windsock, data, graph, options), the digital strip
// below them and the status bar.
//
// The main window creates it, shows it and calls Connect, which returns once the instrument was
// heard (or not) within about 10 s; every global setting then arrives through ConnectionOps.
// Connect and the close wait while handling events, so every handler here may run while one of
// those waits is in progress.

#include "alarm/AlarmCheck.h"
#include "connection/ConnectionHost.h"
#include "connection/ConnectionOps.h"
#include "connection/LinkWatch.h"
#include "connection/SampleListener.h"
#include "connection/WindConnection.h"
#include "connection/WindViewSink.h"
#include "logging/ConnectionLog.h"
#include "serial/Serpacket.h"
#include "serial/Serport.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <string>
#include <string_view>

class QMdiSubWindow;
class QTabWidget;
class QTimer;

namespace vx {

class ConnectionStatusBar;
class DataPage;
class DigitalStrip;
class GraphPage;
class LogFlushTimer;
class OptionsPage;
class WindsockPage;

class Tchild : public QWidget, public ConnectionOps, private WindViewSink {
    Q_OBJECT

public:
    // host: where the window's questions go; it outlives the window.
    explicit Tchild(ConnectionHost& host, QWidget* parent = nullptr);
    ~Tchild() override;

    // --- Lifecycle ---
    // Opens the port, arms the framer and waits (handling events) until the instrument is
    // heard, polling it with "Q" CR. A port that will not open throws its ESerException after
    // the window has been marked closed, so it can be closed at once.
    void Connect(int comNumber, int baud, const std::string& formatLetters,
                 const std::string& formatName, const std::string& name, char parity);
    // Connect for a station that starts by itself: a port that will not open (an adapter the
    // system has not found yet after a reboot) is waited for as a lost one is, and connects
    // when it appears. False, with the reason, when it is being waited for.
    bool ConnectOrWait(int comNumber, int baud, const std::string& formatLetters,
                       const std::string& formatName, const std::string& name, char parity,
                       std::string& reason);
    // The close query: true when the window may close now (asks the user when settled).
    bool FormCloseQuery();
    // One tick of the output-rate timer: the first discards the count since detection began,
    // the second sets the rate from the accepted messages of its period. Public so the rate
    // table can be driven message by message without waiting two periods.
    void tmrOutputRateTimer();

    // --- ConnectionOps ---
    void SetUnits(int units) override;
    void SetDisplayMode(int displayMode) override;
    void SetYScale(int yScale) override;
    void SetDirectionRange(int range) override;
    void SetRoseType(int roseType) override;
    void SetAveraging(int minutes) override;
    void SetAlarmSettings(const AlarmSettings& settings) override;
    void StartLogging(const std::string& base) override;
    void StopLogging() override;
    void RequestNewLogFile() override;
    int ComNumber() const override { return comNumber_; }
    bool IsClosed() const override { return closed_; }
    bool CloseQuery() override { return FormCloseQuery(); }
    std::string Name() const override { return name_; }
    LinkState CurrentLinkState() const override;

    // Where each valid sample goes besides this window (not owned; null for nowhere).
    void SetSampleListener(SampleListener* listener) { sampleListener_ = listener; }

    // --- One message ---
    // The framer's packet handler; also the way to feed packets without a port.
    void dpktStringPacket(TSerDataPacket* sender, const std::string& packet);
    void AddDataLine(const QString& text);
    // Brings the data page up to date now (lines otherwise arrive with the next frame).
    void FlushDataLines();
    // The options page's "Apply": the name and the output format chosen there.
    void buApplySettingsClick();

    // --- State ---
    bool Settled() const { return settled_; }
    // How often the framer gave up a message whose end never came.
    int FramerTimeouts() const { return framerTimeouts_; }
    bool Closing() const { return closing_; }
    bool Logging() const { return log_.Logging(); }
    const std::string& ConnectionName() const { return name_; }
    const std::string& FormatName() const { return formatName_; }
    int DisplayMode() const { return displayMode_; }
    const WindConnection& Wind() const { return wind_; }
    const ConnectionAlarms& Alarms() const { return alarms_; }
    const ConnectionLog& Log() const { return log_; }
    TSerComPort& SerComPort1() { return SerComPort1_; }
    TSerDataPacket& dpkt() { return dpkt_; }
    QString StatusText(int panel) const;
    // The line: the device gone (waiting for it to return), the data quiet, a unit that only
    // answers polls, and whether the values on show are old.
    bool PortLost() const { return watch_.Lost(); }
    bool PolledMode() const { return polledMode_; }
    bool ValuesStale() const { return valuesStale_; }
    const LinkWatch& Watch() const { return watch_; }

signals:
    // Detection has ended (successfully or not); a close may proceed.
    void SettledChanged();
    // The line changed between online, port lost and no data.
    void LinkStateChanged(vx::LinkState state);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    static constexpr int kDetectionTries = 20;
    static constexpr int kDetectionWaitMs = 500;
    static constexpr int kOutputRateIntervalMs = 5000;
    static constexpr int kClosePauseMs = 500;
    // How often the line is looked at: the age of the data, the no-data alarm, and while the
    // device is gone an attempt to open it again.
    static constexpr int kLinkWatchMs = 1000;

    // WindViewSink: the averages' boxes and labels.
    void ShowBuildingAverage(int position, int maximum) override;
    void HideBuildingAverage() override;
    void ShowAveragePanel(std::string_view text) override;
    void BlankAverageLabels(std::string_view text) override;

    // Construction.
    void BuildWindow();
    void SetupSerialLink();
    void SetupTimers();

    // Lifecycle steps.
    void OpenPort(int comNumber, int baud, char parity);
    void MarkOpenFailed(const std::string& reason);
    void ApplyFormat();
    void ArmFramer();
    void FillFormatList();
    void SendText(std::string_view text);
    void WaitMs(int milliseconds);
    void DetectMeasurementMode();
    void SetSettled();
    void CloseConnection();
    void WaitUntilSettled();
    void RequestClose();
    void MinimiseWindow();
    QWidget* FrameWindow();
    void WatchSubWindowActivation();
    void tmrTimeoutTimer();
    void dpktTimeout(TSerDataPacket* sender);

    // The line (AnemometerLink.cpp).
    void SetupLinkWatch();
    void StartLinkWatch();
    void WaitForDevice(const std::string& formatLetters, const std::string& formatName);
    void SerComPort1DeviceLost();
    void tmrLinkWatchTimer();
    void TryReopen();
    void Redetect();
    void NoteMessage();
    // Panel 2 shows the detection's progress or the output rate, unless the line is in trouble.
    void SetDetectionText(const QString& text);
    void ShowLinkState();
    QString LinkTroubleText() const;
    void SetValuesStale(bool stale);
    bool Abandoned() const;

    // What a message shows (AnemometerViews.cpp).
    void ProcessMessage(std::string_view message);
    void PlotSample();
    void ShowWindsockValues();
    void ShowDigitalPanels();
    void SetupGraph();
    void ResetMaxMinClick();

    // Page events.
    void PageControl1Change(int index);
    void GraphPageShown();
    void FocusDataIfActive();
    bool PageShowing(const QWidget* page) const;

    ConnectionHost& host_;
    SampleListener* sampleListener_ = nullptr;
    WindConnection wind_;
    ConnectionAlarms alarms_;
    ConnectionLog log_;
    // The port outlives its framer: members are destroyed in reverse order.
    TSerComPort SerComPort1_;
    TSerDataPacket dpkt_;

    // Identity and link state.
    std::string name_;
    std::string formatName_;
    std::string formatLetters_;
    int comNumber_ = 0;
    int baud_ = 0;
    char parity_ = 'N';
    bool settled_ = false;
    bool closed_ = false;
    int framerTimeouts_ = 0;
    bool closing_ = false;
    bool timeoutFired_ = false;  // tmrTimeout's tag
    int outputRateTag_ = 0;      // tmrOutputRate's tag
    QElapsedTimer ratePeriod_;   // the output rate's current counting period
    bool closeRequestPending_ = false;
    bool hiddenByMinimise_ = false;
    QMdiSubWindow* watchedSubWindow_ = nullptr;

    // The line.
    LinkWatch watch_;
    QString detectionText_;      // what panel 2 shows while the line is well
    std::string openedDevice_;   // the device behind the open port, as the user knows it
    int pollsSent_ = 0;          // polls of this detection before the first message came
    bool answeredPoll_ = false;  // the first message of the last detection followed a poll
    bool polledMode_ = false;
    bool watching_ = false;    // from the port's first open until the close
    bool everOpened_ = false;  // the port has been open in this connection
    bool reopening_ = false;
    bool redetecting_ = false;
    bool valuesStale_ = false;
    LinkState shownState_ = LinkState::Online;

    // View settings.
    int displayMode_ = 0;
    QString unitText_;

    // Controls, named as the window knows them.
    QTimer* tmrTimeout_ = nullptr;
    QTimer* tmrOutputRate_ = nullptr;
    QTimer* tmrLinkWatch_ = nullptr;
    LogFlushTimer* logTimer_ = nullptr;
    QTabWidget* PageControl1_ = nullptr;
    WindsockPage* tsWindsock_ = nullptr;
    DataPage* tsData_ = nullptr;
    GraphPage* tsGraph_ = nullptr;
    OptionsPage* tsSettings_ = nullptr;
    DigitalStrip* paBottom_ = nullptr;
    ConnectionStatusBar* StatusBar1_ = nullptr;
};

}  // namespace vx
