#pragma once
// The alarm dialog: the wind-speed and direction alarm settings every connection tests against,
// and the ways a fired alarm is signalled (beep, and the DTR line of a chosen serial port).

#include "alarm/AlarmCheck.h"
#include "alarm/AlarmHost.h"
#include "alarm/AlarmSettings.h"
#include "serial/Serport.h"

#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vx {

class AlarmHost;

class TfrmAlarm : public QDialog, public AlarmSink, public AlarmDialogOps {
    Q_OBJECT
public:
    static constexpr int kPortCloseWaitMs = 500;

    explicit TfrmAlarm(QWidget* parent = nullptr);
    ~TfrmAlarm() override;

    void SetHost(AlarmHost* host) { host_ = host; }
    // The system beep; replaceable because a test cannot hear one.
    void SetBeep(std::function<void()> beep) { beep_ = std::move(beep); }

    void ShowAlarmDialog() override;
    const AlarmSettings& CurrentAlarmSettings() const override { return settings_; }

    void SignalAlarm();
    void RaiseSpeedAlarm(const std::string& connectionName) override;
    void RaiseDirectionAlarm(const std::string& connectionName) override;
    // No message for the chosen time: signalled as a wind-speed alarm is (beep, alarm line).
    void RaiseNoDataAlarm(const std::string& connectionName) override;
    void LowerAlarmLine() override;
    // True when the alarm line's port is open on that COM number.
    bool UsesPort(int comNumber) const override;

    // Showing: the port list is refilled; the text stays as the user left it.
    void FormShow();
    // Every activation: the threshold is shown again in the current unit.
    void FormActivate();

    QCheckBox* cbEnableWindspeed;
    QGroupBox* rgWindSpeedTrigger;
    QRadioButton* rbTriggerAbove;
    QRadioButton* rbTriggerBelow;
    QLineEdit* edWindSpeedThreshold;
    QLabel* laUnits;
    QCheckBox* cbEnableDirection;
    QLineEdit* edDirection1;
    QLineEdit* edDirection2;
    QCheckBox* cbEnableNoData;
    QLineEdit* edNoDataSeconds;
    QCheckBox* cbSpeaker;
    QCheckBox* cbDtr;
    QComboBox* cbPort;
    QPushButton* Button1;
    // The alarm line. Opened with DTR low; DTR rises only when a wind-speed alarm fires.
    TSerComPort SerDtrPort;

public slots:
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void BuildControls();
    QWidget* BuildNoDataGroup();
    bool ReadNoDataSeconds(AlarmSettings& applied);
    int CurrentUnits() const;
    bool ReadNumber(QLineEdit* field, double& value);
    bool OpenAlarmLine();
    void CloseAlarmLine();
    void ReleaseAlarmLine();
    void SetAlarmLine(bool raised);
    void ReportLaterInErrorBox(const QString& message);

    AlarmHost* host_ = nullptr;
    std::function<void()> beep_;
    AlarmSettings settings_;
    bool centred_ = false;
};

}  // namespace vx
