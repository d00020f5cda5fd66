#pragma once
// The log dialog: where logs go, what their records carry, the description copied into each
// file's header and the segment length. It also runs the minute tick while logging and is the
// environment every connection's log reads its header and record options from.

#include "logging/ConnectionLog.h"
#include "logging/LocaleTimeFormatter.h"
#include "logging/LogHost.h"

#include <QDialog>
#include <QString>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace vx {

class LogHost;

class TfrmLogDlg : public QDialog, public LogEnvironment, public LogDialogOps {
    Q_OBJECT
public:
    static constexpr int kTickMs = 60000;

    // The save-file dialog: gets the path to start from, returns the chosen path or an empty
    // text when the user cancels. Tests replace it.
    using SaveFileChooser = std::function<QString(QWidget* parent, const QString& startPath)>;

    explicit TfrmLogDlg(const std::string& defaultLogFile, QWidget* parent = nullptr);
    ~TfrmLogDlg() override;

    void SetHost(LogHost* host) { host_ = host; }
    void SetSaveFileChooser(SaveFileChooser chooser) { chooseSaveFile_ = std::move(chooser); }

    void ShowLogDialog() override;
    std::string LogFileName() const override { return logFileName_; }
    // The segment length in force: the one the dialog shows, as "Enable" is the one it shows
    // (10 while the box does not hold a whole number).
    int SegmentMinutes() const;
    int SegmentTicks() const { return segmentTicks_; }
    int LoggedMinutes() const { return loggedMinutes_; }
    void StartLogTimer() override;
    void StopLogTimer() override;
    bool LogTimerRunning() const { return Timer1.isActive(); }

    // LogEnvironment, read by every connection's log.
    std::string LogCaption() const override;
    std::vector<std::string> LogDescription() const override;
    RecordOptions LogRecordOptions() const override;
    const LogTimeFormatter& LogFormatter() const override { return formatter_; }
    void ReportLogError(const std::string& message) override;

    QCheckBox* cbEnable;
    QLineEdit* edMins;
    QCheckBox* cbAppendTimeStamp;
    QCheckBox* cbAppendRecordCount;
    QLineEdit* edDir;
    QPushButton* Button2;
    QLineEdit* edFileName;
    QTextEdit* reLogDescription;
    QPushButton* Button1;
    QTimer Timer1;

public slots:
    void Button1Click();
    void Button2Click();
    void Timer1Timer();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void ShowPathParts(const std::string& path);
    void CentreOnScreen();
    void ShowPendingErrors();

    LogHost* host_ = nullptr;
    SaveFileChooser chooseSaveFile_;
    LocaleTimeFormatter formatter_;
    std::string logFileName_;
    int segmentTicks_ = 0;
    int loggedMinutes_ = 0;
    bool centred_ = false;
    std::vector<std::string> pendingErrors_;
};

}  // namespace vx
