#pragma once
// What the alarm dialog and the main window ask of each other.

#include "alarm/AlarmSettings.h"

#include <string>

namespace vx {

class AlarmHost {
public:
    virtual ~AlarmHost() = default;
    // The display unit: 0 m/s, 1 knots, 2 mph, 3 kph, 4 fpm.
    virtual int CurrentUnits() const = 0;
    // The status bar shows the text and turns red.
    virtual void ShowAlarmMessage(const std::string& text) = 0;
    // Armed or disabled status, the settings pushed to every connection, the alarm line lowered.
    virtual void UpdateAlarmStatus() = 0;
};

// What the main window asks of the alarm dialog, which implements it.
class AlarmDialogOps {
public:
    virtual ~AlarmDialogOps() = default;
    virtual void ShowAlarmDialog() = 0;  // modeless
    virtual const AlarmSettings& CurrentAlarmSettings() const = 0;
    virtual void LowerAlarmLine() = 0;
    // True when the alarm line's port is open on that COM number.
    virtual bool UsesPort(int comNumber) const = 0;
};

}  // namespace vx
