#include "app/DialogLinks.h"

#include "alarm/Alarm.h"
#include "app/Main.h"
#include "logging/Logdlg.h"
#include "network/Networkdlg.h"

namespace vx {

bool ConnectDialogLink::ShowConnectDialog() {
    return dialog_ != nullptr && dialog_->ShowConnectDialog();
}

int ConnectDialogLink::ChosenFormatPosition() const {
    return dialog_ != nullptr ? dialog_->ChosenFormatPosition() : parent_.MessageTypeIndex();
}

int ConnectDialogLink::MessageTypeIndex() const {
    return parent_.MessageTypeIndex();
}

bool ConnectDialogLink::IsPortInUse(int comNumber) const {
    return parent_.IsPortInUse(comNumber);
}

void AlarmDialogLink::ShowAlarmDialog() {
    dialog_.ShowAlarmDialog();
}

const AlarmSettings& AlarmDialogLink::CurrentAlarmSettings() const {
    return dialog_.CurrentAlarmSettings();
}

void AlarmDialogLink::LowerAlarmLine() {
    dialog_.LowerAlarmLine();
}

bool AlarmDialogLink::UsesPort(int comNumber) const {
    return dialog_.UsesPort(comNumber);
}

void LogDialogLink::ShowLogDialog() {
    dialog_.ShowLogDialog();
}

std::string LogDialogLink::LogFileName() const {
    return dialog_.LogFileName();
}

void LogDialogLink::StartLogTimer() {
    dialog_.StartLogTimer();
}

void LogDialogLink::StopLogTimer() {
    dialog_.StopLogTimer();
}

void NetworkDialogLink::ShowNetworkDialog() {
    dialog_.ShowNetworkDialog();
}

}  // namespace vx
