#pragma once
// What every connection window of the running program asks of the rest of it: the main window's
// display choices, the connect dialog's format table and selection, the log dialog's settings,
// and the alarm dialog for alarms that fire.

#include "connection/ConnectionHost.h"

namespace vx {

class Tparent;
class TfrmAlarm;
class TfrmLogDlg;
class TfrmNewAnem;

class ProgramConnectionHost : public ConnectionHost {
public:
    ProgramConnectionHost(Tparent& parent, TfrmNewAnem& connectDialog, TfrmLogDlg& logDialog,
                          TfrmAlarm& alarmDialog);

    bool DirectionAxis359() const override;
    bool MagAverageVector() const override;
    bool DirAverageVector() const override;
    OutputFormatTable& FormatTable() override;
    int SelectedFormatPosition() const override;
    LogEnvironment& LogSettings() override;
    void RaiseSpeedAlarm(const std::string& connectionName) override;
    void RaiseDirectionAlarm(const std::string& connectionName) override;
    void RaiseNoDataAlarm(const std::string& connectionName) override;
    void LinkStateChanged(const std::string& connectionName, LinkState state) override;

private:
    Tparent& parent_;
    TfrmNewAnem& connectDialog_;
    TfrmLogDlg& logDialog_;
    TfrmAlarm& alarmDialog_;
};

}  // namespace vx
