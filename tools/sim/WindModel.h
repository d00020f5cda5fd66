#pragma once
// The wind the simulated instrument measures: a mean speed and direction, turbulence (slowly
// wandering deviations of speed, direction and vertical wind), gusts that arrive at random and a
// steady veer. Time advances by the step given, not by the clock, so a seed replays the same wind.

#include <cstdint>

#include "tools/sim/SimRandom.h"

namespace vx::sim {

struct WindSettings {
    double meanSpeed = 5.0;        // m/s
    double meanDirection = 270.0;  // degrees
    double turbulence = 0.1;       // intensity: standard deviation of speed / mean speed
    double gustInterval = 30.0;    // mean seconds between gusts; 0: no gusts
    double gustFactor = 1.5;       // peak speed of a gust / the speed it rides on
    double veer = 0.0;             // degrees per minute, positive clockwise
};

struct WindState {
    double speed = 0;      // m/s, never negative
    double direction = 0;  // degrees, 0 <= direction < 360
    double w = 0;          // m/s, vertical
};

class WindModel {
public:
    WindModel(const WindSettings& settings, std::uint64_t seed);

    // Advances the model by `seconds` and returns the wind at the new time. The first call with
    // 0 gives the wind at time 0.
    WindState Step(double seconds);

    double Time() const { return time_; }

private:
    double AdvanceDeviation(double deviation, double sigma, double tau, double seconds);
    double GustMultiplier(double seconds);

    WindSettings settings_;
    SimRandom random_;
    double time_ = 0;
    double speedDeviation_ = 0;
    double directionDeviation_ = 0;
    double wDeviation_ = 0;
    double gustAge_ = -1;  // seconds since the current gust began; negative: no gust
};

}  // namespace vx::sim
