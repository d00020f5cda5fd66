#pragma once
// What the main window needs from the dialogs it opens. Each dialog implements its interface and
// is handed to the main window after both exist, so the main window does not depend on the
// dialogs' own classes and works (with the menu items doing nothing) before they are attached.

#include "alarm/AlarmSettings.h"

#include <string>

namespace vx {

class ConnectDialogOps {
public:
    virtual ~ConnectDialogOps() = default;
    // Shows the dialog modally; true when it ended with OK.
    virtual bool ShowConnectDialog() = 0;
    // The chosen output-format position, remembered in the settings store.
    virtual int ChosenFormatPosition() const = 0;
};

class AlarmDialogOps {
public:
    virtual ~AlarmDialogOps() = default;
    virtual void ShowAlarmDialog() = 0;  // modeless
    virtual const AlarmSettings& CurrentAlarmSettings() const = 0;
    virtual void LowerAlarmLine() = 0;
    // True when the alarm line's port is open on that COM number.
    virtual bool UsesPort(int comNumber) const = 0;
};

class LogDialogOps {
public:
    virtual ~LogDialogOps() = default;
    virtual void ShowLogDialog() = 0;  // modeless
    // Full path given to connections when logging starts; remembered in the settings store.
    virtual std::string LogFileName() const = 0;
    virtual void StartLogTimer() = 0;
    virtual void StopLogTimer() = 0;
};

class NetworkDialogOps {
public:
    virtual ~NetworkDialogOps() = default;
    virtual void ShowNetworkDialog() = 0;  // modal
};

}  // namespace vx
