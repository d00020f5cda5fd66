#include "connection/WindStats.h"

#include "connection/WindMath.h"

#include <cmath>

namespace vx {

void UpdateMinMax(MinMax& extremes, const WindSample& sample) {
    const double d = sample.direction;
    if (!extremes.directionsSet) {
        extremes.minDirection = d;
        extremes.maxDirection = d;
        extremes.directionsSet = true;
    }
    const double anticlockwise =
        d <= extremes.minDirection ? extremes.minDirection - d : extremes.minDirection + 360 - d;
    if (anticlockwise < 180) {
        extremes.minDirection = d;
    }
    const double clockwise =
        d > extremes.maxDirection ? d - extremes.maxDirection : d + 360 - extremes.maxDirection;
    if (clockwise < 180) {
        extremes.maxDirection = d;
    }
    auto fold = [](double value, double& minimum, double& maximum) {
        if (value <= minimum) {
            minimum = value;
        }
        if (value >= maximum) {
            maximum = value;
        }
    };
    fold(sample.u, extremes.minU, extremes.maxU);
    fold(sample.v, extremes.minV, extremes.maxV);
    fold(sample.w, extremes.minW, extremes.maxW);
    fold(sample.magnitude, extremes.minMagnitude, extremes.maxMagnitude);
}

void ClearMaxMin(MinMax& extremes, std::optional<double> direction) {
    extremes = MinMax{};
    if (direction) {
        extremes.minDirection = *direction;
        extremes.maxDirection = *direction;
        extremes.directionsSet = true;
    }
}

void ExtendedDirection::Update(double direction) {
    extended = direction;
    if (previous > 270 && direction < 180) {
        extended = direction + 360;
    }
    previous = extended;
}

namespace {

// A blank averaging record is all zeros, direction 0 included, whose cosine is 1.
constexpr RingWindow<5, true>::Values kBlankAverageRecord{0, 0, 0, 0, 1};

}  // namespace

WindStatistics::WindStatistics() : gustRing_(kGustCapacity), averagingRing_(kAveragingCapacity) {
    ResetAverages();
}

void WindStatistics::SetOutputRate(double hz) {
    outputRate_ = hz;
    gustWindow_ = GustWindowFor(hz);
}

void WindStatistics::ResetAverages() {
    gustRing_.Reset({0});
    averagingRing_.Reset(kBlankAverageRecord, 0);
}

void WindStatistics::UpdateGust(double magnitude) {
    if (gustWindow_ == 0) {
        return;
    }
    const int count = gustRing_.Store(gustWindow_, {magnitude});
    gust_ = gustRing_.Sum(0) / count;
}

AverageProgress WindStatistics::UpdateAverages(const WindSample& sample) {
    UpdateGust(sample.magnitude);
    const int window = AveragingWindow();
    if (window == 0) {
        return {};
    }
    const double radians = DegreesToRadians(sample.direction);
    averagingRing_.Store(
        window, {sample.u, sample.v, sample.magnitude, std::sin(radians), std::cos(radians)},
        gust_);
    ComputeAverages();
    AverageProgress progress;
    progress.stored = true;
    progress.full = averagingRing_.Full();
    progress.position = averagingRing_.Count();
    progress.maximum = window;
    return progress;
}

void WindStatistics::ComputeAverages() {
    const double count = averagingRing_.Count();
    const double meanU = averagingRing_.Sum(0) / count;
    const double meanV = averagingRing_.Sum(1) / count;
    const double meanMagnitude = averagingRing_.Sum(2) / count;
    const double meanSin = averagingRing_.Sum(3) / count;
    const double meanCos = averagingRing_.Sum(4) / count;
    averages_.vectorSpeed = std::sqrt(meanU * meanU + meanV * meanV);
    averages_.scalarSpeed = meanMagnitude;
    averages_.vectorDirection = DirectionFromUV(meanU, meanV);
    averages_.scalarDirection = DirectionFromUV(-meanCos, meanSin);
    averages_.maxGust = averagingRing_.MaxKey();
    averages_.minGust = averagingRing_.MinKey();
}

}  // namespace vx
