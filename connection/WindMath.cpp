#include "connection/WindMath.h"

#include <cmath>

namespace vx {

double DegreesToRadians(double degrees) {
    return degrees * kPi / 180.0;
}

double RadiansToDegrees(double radians) {
    return radians * 180.0 / kPi;
}

double DirectionFromUV(double u, double v) {
    if (v >= 0.005) {
        return 90.0 + RadiansToDegrees(std::atan(u / v));
    }
    if (v < 0) {
        return 270.0 + RadiansToDegrees(std::atan(u / v));
    }
    // Almost no V component: the wind runs along U.
    return u > 0 ? 180.0 : 0.0;
}

UV PolarToUV(double magnitude, double direction) {
    const double radians = DegreesToRadians(direction);
    return {-magnitude * std::cos(radians), magnitude * std::sin(radians)};
}

}  // namespace vx
