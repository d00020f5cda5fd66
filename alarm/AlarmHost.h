#pragma once
// What the alarm dialog asks of the main window.

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

}  // namespace vx
