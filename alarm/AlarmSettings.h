#pragma once

namespace vx {

// The alarm dialog's settings, copied into every connection. Speeds in m/s, directions in degrees.
struct AlarmSettings {
    bool SpeedAlarmOn = false;
    bool DirectionAlarmOn = false;
    bool TriggerAbove = false;
    double SpeedThreshold = 0.0;
    double DirectionFrom = 0.0;
    double DirectionTo = 0.0;
    // Alarm when a connection has had no message that passed the test for this long; a port
    // whose device went away counts as quiet.
    bool NoDataAlarmOn = false;
    double NoDataSeconds = 0.0;
};

}  // namespace vx
