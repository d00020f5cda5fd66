#pragma once
// Direction conventions of the instrument: direction 0 is wind along -U, 90 along +V, 180 along
// +U and 270 along -V.

namespace vx {

inline constexpr double kPi = 3.141592653589793;

double DegreesToRadians(double degrees);
double RadiansToDegrees(double radians);

// Direction in degrees, 0 <= d < 360 for finite input. V in [0, 0.005) counts as no V component
// (0 or 180 by the sign of U); the band is one-sided, small negative V goes through atan.
double DirectionFromUV(double u, double v);

struct UV {
    double u = 0;
    double v = 0;
};

// U = -M cos D, V = M sin D (D in degrees).
UV PolarToUV(double magnitude, double direction);

}  // namespace vx
