#include "tools/sim/WindModel.h"

#include <algorithm>
#include <cmath>

namespace vx::sim {

namespace {

// Time constants of the turbulent wander (seconds): speed and vertical wind change faster than
// the direction does over open ground.
constexpr double kSpeedTau = 3.0;
constexpr double kDirectionTau = 6.0;
constexpr double kWTau = 1.0;
// Degrees of direction spread per unit of turbulence intensity (0.1 gives about 10 degrees).
constexpr double kDirectionSpreadPerIntensity = 100.0;
// Vertical wind spread relative to the horizontal speed spread.
constexpr double kWSpreadRatio = 0.5;
// Gust shape: rise, hold at the peak, die away (seconds).
constexpr double kGustRise = 1.0;
constexpr double kGustHold = 2.0;
constexpr double kGustDecay = 3.0;

double WrapDegrees(double degrees) {
    double wrapped = std::fmod(degrees, 360.0);
    if (wrapped < 0) {
        wrapped += 360.0;
    }
    return wrapped >= 360.0 ? 0.0 : wrapped;
}

}  // namespace

WindModel::WindModel(const WindSettings& settings, std::uint64_t seed)
    : settings_(settings), random_(seed) {}

// Ornstein-Uhlenbeck step: keeps the long-run spread at sigma whatever the step length.
double WindModel::AdvanceDeviation(double deviation, double sigma, double tau, double seconds) {
    if (sigma <= 0 || seconds <= 0) {
        return sigma <= 0 ? 0.0 : deviation;
    }
    const double keep = std::exp(-seconds / tau);
    return deviation * keep + sigma * std::sqrt(1.0 - keep * keep) * random_.Gaussian();
}

double WindModel::GustMultiplier(double seconds) {
    if (gustAge_ < 0 && settings_.gustInterval > 0 && seconds > 0 &&
        random_.Chance(seconds / settings_.gustInterval)) {
        gustAge_ = 0;
    } else if (gustAge_ >= 0) {
        gustAge_ += seconds;
    }
    if (gustAge_ < 0) {
        return 1.0;
    }
    double envelope;
    if (gustAge_ < kGustRise) {
        envelope = gustAge_ / kGustRise;
    } else if (gustAge_ < kGustRise + kGustHold) {
        envelope = 1.0;
    } else if (gustAge_ < kGustRise + kGustHold + kGustDecay) {
        envelope = 1.0 - (gustAge_ - kGustRise - kGustHold) / kGustDecay;
    } else {
        gustAge_ = -1;
        envelope = 0.0;
    }
    return 1.0 + (settings_.gustFactor - 1.0) * envelope;
}

WindState WindModel::Step(double seconds) {
    time_ += seconds;
    const double intensity = settings_.turbulence;
    const double speedSigma = intensity * settings_.meanSpeed;
    speedDeviation_ = AdvanceDeviation(speedDeviation_, speedSigma, kSpeedTau, seconds);
    directionDeviation_ = AdvanceDeviation(
        directionDeviation_, intensity * kDirectionSpreadPerIntensity, kDirectionTau, seconds);
    wDeviation_ = AdvanceDeviation(wDeviation_, kWSpreadRatio * speedSigma, kWTau, seconds);

    WindState state;
    state.speed = std::max(0.0, (settings_.meanSpeed + speedDeviation_) * GustMultiplier(seconds));
    state.direction =
        WrapDegrees(settings_.meanDirection + settings_.veer * time_ / 60.0 + directionDeviation_);
    state.w = wDeviation_;
    return state;
}

}  // namespace vx::sim
