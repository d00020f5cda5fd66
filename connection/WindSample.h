#pragma once
// A connection's current sample: what the last message that had enough fields said, in m/s and
// degrees, and the same speeds in the display unit.

namespace vx {

struct WindSample {
    double magnitude = 0;       // m/s
    double direction = 0;       // degrees; 0 <= direction < 360 when valid
    double u = 0;               // m/s
    double v = 0;               // m/s
    double w = 0;               // m/s; kept from earlier messages by formats without a W field
    double shownMagnitude = 0;  // display unit
    double shownU = 0;
    double shownV = 0;
    double shownW = 0;
    double inputFactor = 0;  // message unit -> m/s; 0 until a units letter is seen
    bool valid = false;
};

}  // namespace vx
