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
};

}  // namespace vx
