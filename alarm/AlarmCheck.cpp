#include "alarm/AlarmCheck.h"

#include "connection/WindUnits.h"
#include "platform/NumberText.h"

#include <charconv>
#include <cmath>

namespace vx {
namespace {

int KnownUnit(int unit) {
    return IsSpeedUnit(unit) ? unit : 0;
}

}  // namespace

bool InDirectionSector(double direction, double from, double to) {
    if (from < to) {
        return from < direction && direction < to;
    }
    return direction > from || direction < to;
}

double ToMetresPerSecond(double value, int unit) {
    // The reciprocal of the factor, in extended precision, as the instrument's own software has
    // always converted thresholds; dividing in double can differ in the last bit.
    const long double reciprocal = 1.0L / static_cast<long double>(DisplayFactor(KnownUnit(unit)));
    return static_cast<double>(static_cast<long double>(value) * reciprocal);
}

double FromMetresPerSecond(double metresPerSecond, int unit) {
    return metresPerSecond * DisplayFactor(KnownUnit(unit));
}

std::string_view SpeedUnitLabel(int unit) {
    return UnitText(KnownUnit(unit));
}

int PortNumberFromText(std::string_view text) {
    if (text.size() <= 3) {
        return -1;
    }
    int number = 0;
    return ParseWholeNumber(text.substr(3, 2), number) ? number : -1;
}

std::string NotAFloatText(std::string_view text) {
    return "'" + std::string(text) + "' is not a valid floating point value";
}

void ConnectionAlarms::SetAlarmSettings(const AlarmSettings& settings) {
    settings_ = settings;
    alarmLatched_ = false;
}

void ConnectionAlarms::ResetAlarms() {
    alarmLatched_ = false;
    speedAlarmCount_ = 0;
    directionAlarmCount_ = 0;
}

bool ConnectionAlarms::InDirectionSector(double direction) const {
    return vx::InDirectionSector(direction, settings_.DirectionFrom, settings_.DirectionTo);
}

bool ConnectionAlarms::SpeedConditionHolds(double speed) const {
    return settings_.TriggerAbove ? speed > settings_.SpeedThreshold
                                  : speed < settings_.SpeedThreshold;
}

void ConnectionAlarms::CheckAlarms(const std::string& connectionName, double speed,
                                   double direction, AlarmSink& sink) {
    if (alarmLatched_) {
        return;
    }
    if (settings_.SpeedAlarmOn) {
        if (SpeedConditionHolds(speed)) {
            ++speedAlarmCount_;
            if (speedAlarmCount_ >= 2) {
                alarmLatched_ = true;
                sink.RaiseSpeedAlarm(connectionName);
            }
        } else {
            speedAlarmCount_ = 0;
        }
    }
    // Runs even when the speed alarm has just fired: one message can raise both, and the
    // direction message, coming second, is the one left on the status bar.
    if (settings_.DirectionAlarmOn && InDirectionSector(direction)) {
        ++directionAlarmCount_;
        if (directionAlarmCount_ >= 2) {
            alarmLatched_ = true;
            sink.RaiseDirectionAlarm(connectionName);
        }
    }
}

}  // namespace vx

namespace vx {

void ConnectionAlarms::CheckSilence(const std::string& connectionName, double silentSeconds,
                                    AlarmSink& sink) {
    if (alarmLatched_ || !settings_.NoDataAlarmOn || !(silentSeconds >= settings_.NoDataSeconds)) {
        return;
    }
    alarmLatched_ = true;
    sink.RaiseNoDataAlarm(connectionName);
}

}  // namespace vx
