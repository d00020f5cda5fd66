#pragma once
// Joins the dialogs to the main window: each link presents a dialog to the main window through
// the interface the main window expects, and the main window to the connect dialog.

#include "app/DialogOps.h"
#include "app/Newanemdlg.h"

namespace vx {

class Tparent;
class TfrmAlarm;
class TfrmLogDlg;
class TfrmNetworkDlg;

class ConnectDialogLink : public ConnectDialogOps, public ConnectDialogHost {
public:
    explicit ConnectDialogLink(const Tparent& parent) : parent_(parent) {}
    void SetDialog(TfrmNewAnem* dialog) { dialog_ = dialog; }

    bool ShowConnectDialog() override;
    int ChosenFormatPosition() const override;
    int MessageTypeIndex() const override;
    bool IsPortInUse(int comNumber) const override;

private:
    const Tparent& parent_;
    TfrmNewAnem* dialog_ = nullptr;
};

class AlarmDialogLink : public AlarmDialogOps {
public:
    explicit AlarmDialogLink(TfrmAlarm& dialog) : dialog_(dialog) {}
    void ShowAlarmDialog() override;
    const AlarmSettings& CurrentAlarmSettings() const override;
    void LowerAlarmLine() override;
    bool UsesPort(int comNumber) const override;

private:
    TfrmAlarm& dialog_;
};

class LogDialogLink : public LogDialogOps {
public:
    explicit LogDialogLink(TfrmLogDlg& dialog) : dialog_(dialog) {}
    void ShowLogDialog() override;
    std::string LogFileName() const override;
    void StartLogTimer() override;
    void StopLogTimer() override;

private:
    TfrmLogDlg& dialog_;
};

class NetworkDialogLink : public NetworkDialogOps {
public:
    explicit NetworkDialogLink(TfrmNetworkDlg& dialog) : dialog_(dialog) {}
    void ShowNetworkDialog() override;

private:
    TfrmNetworkDlg& dialog_;
};

}  // namespace vx
