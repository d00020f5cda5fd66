#pragma once
// The alarm tests every connection runs on each accepted message, on its own copy of the alarm
// settings. An alarm needs two messages that meet its condition, so one stray message cannot
// switch external equipment.

#include "alarm/AlarmSettings.h"

#include <string>
#include <string_view>

namespace vx {

// Where a fired alarm goes: the alarm dialog, which signals it and tells the main window.
class AlarmSink {
public:
    virtual ~AlarmSink() = default;
    virtual void RaiseSpeedAlarm(const std::string& connectionName) = 0;
    virtual void RaiseDirectionAlarm(const std::string& connectionName) = 0;
    virtual void RaiseNoDataAlarm(const std::string& connectionName) = 0;
};

// The sector runs clockwise from `from` to `to`, both bounds excluded; when from >= to it passes
// through north (and with from == to it is every direction but that one).
bool InDirectionSector(double direction, double from, double to);

// Speeds typed or shown in the display unit (0 m/s, 1 knots, 2 mph, 3 kph, 4 fpm) against m/s.
// An unknown unit counts as m/s.
double ToMetresPerSecond(double value, int unit);
double FromMetresPerSecond(double metresPerSecond, int unit);
std::string_view SpeedUnitLabel(int unit);

// The port number in a port box's text: the characters from the 4th on, at most two, as a whole
// number ("COM7" is 7, "COM12" 12); -1 when they are not one.
int PortNumberFromText(std::string_view text);

// The error for a text that is not a number.
std::string NotAFloatText(std::string_view text);

class ConnectionAlarms {
public:
    // Copies the settings and clears the latch; the counters keep their values, so a condition
    // that still holds raises the alarm again with the next message that meets it.
    void SetAlarmSettings(const AlarmSettings& settings);
    // A new connection: counters to zero, latch cleared.
    void ResetAlarms();

    // speed in m/s, direction in degrees: the connection's current sample.
    void CheckAlarms(const std::string& connectionName, double speed, double direction,
                     AlarmSink& sink);
    bool InDirectionSector(double direction) const;
    // The no-data alarm, tested while the connection is quiet (once a second): silentSeconds is
    // the time without a message that passed the test, counted at the latest from the last reset.
    void CheckSilence(const std::string& connectionName, double silentSeconds, AlarmSink& sink);

    const AlarmSettings& Settings() const { return settings_; }
    bool AlarmLatched() const { return alarmLatched_; }
    int SpeedAlarmCount() const { return speedAlarmCount_; }
    int DirectionAlarmCount() const { return directionAlarmCount_; }

private:
    bool SpeedConditionHolds(double speed) const;

    AlarmSettings settings_;
    bool alarmLatched_ = false;
    int speedAlarmCount_ = 0;
    int directionAlarmCount_ = 0;
};

}  // namespace vx
