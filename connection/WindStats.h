#pragma once
// Statistics of one connection: minimum and maximum values, the extended direction for the
// 0..539 degree graph axis, the 3-second gust and the 2- or 10-minute averages with the smallest
// and largest gust of the averaging window. Everything is kept in m/s and degrees.

#include "connection/OutputRate.h"
#include "connection/RingWindow.h"
#include "connection/WindSample.h"

#include <optional>

namespace vx {

struct MinMax {
    double minU = 1000, maxU = -1000;
    double minV = 1000, maxV = -1000;
    double minW = 1000, maxW = -1000;
    double minMagnitude = 1000, maxMagnitude = -1000;
    double minDirection = 0, maxDirection = 0;  // degrees
    // False until a valid direction seeded both extremes. A minimum seeded from a reading that
    // was never valid (400, or the 0 of a fresh connection) would hold for as long as the wind
    // stays within 180 degrees of it.
    bool directionsSet = false;
};

// Folds a valid sample in. The first direction after a clear without a valid one seeds both
// extremes; after that a direction replaces the minimum when it lies less than 180 degrees
// anticlockwise of it (across north if need be), and the maximum likewise clockwise.
void UpdateMinMax(MinMax& extremes, const WindSample& sample);

// Speeds back to 1000 / -1000; both directions to the given one, or, without one, unset until
// the next valid sample.
void ClearMaxMin(MinMax& extremes, std::optional<double> direction);

// A direction continued past 360 while it swings clockwise through north, so the graph's
// 0..539 axis does not jump from top to bottom.
struct ExtendedDirection {
    double extended = 0;
    double previous = 0;

    void Update(double direction);
};

struct WindAverages {
    double vectorSpeed = 0;      // |mean (u, v)|, m/s
    double scalarSpeed = 0;      // mean magnitude, m/s
    double vectorDirection = 0;  // direction of the mean (u, v), degrees
    double scalarDirection = 0;  // direction of the mean unit vector, degrees
    double maxGust = 0;          // largest gust in the window, m/s
    double minGust = 0;          // smallest gust in the window, m/s
};

// What a stored averaging sample means for the "Building Average" box.
struct AverageProgress {
    bool stored = false;  // false: averaging off or rate unknown, nothing changed
    bool full = false;    // the window is full: the box hides
    int position = 0;     // records stored while filling
    int maximum = 0;      // window size
};

// The gust ring and the averaging ring with their results. Each sample costs O(1) amortised:
// running sums replace the re-sum of the whole window (up to 60 000 records at 100 Hz), with
// results equal to that re-sum within rounding.
class WindStatistics {
public:
    WindStatistics();

    // Output rate in Hz (0 until detected); the gust window follows as trunc(rate * 3).
    void SetOutputRate(double hz);
    double OutputRate() const { return outputRate_; }
    int GustWindow() const { return gustWindow_; }

    // Averaging period in seconds: 0 (off), 120 or 600.
    void SetAveragingPeriod(int seconds) { averagingPeriod_ = seconds; }
    int AveragingPeriod() const { return averagingPeriod_; }
    // Window size at the present period and rate; 0 when off or the rate is unknown.
    int AveragingWindow() const { return AveragingWindowFor(averagingPeriod_, outputRate_); }

    // Both rings emptied (zeros), indexes 0, not full. The gust and the averages keep their
    // values until the next sample.
    void ResetAverages();

    // The mean magnitude of the last GustWindow() valid samples (all so far while fewer).
    void UpdateGust(double magnitude);
    // UpdateGust, then the sample and the new gust into the averaging window.
    AverageProgress UpdateAverages(const WindSample& sample);

    double Gust() const { return gust_; }
    const WindAverages& Averages() const { return averages_; }

    const RingWindow<1, false>& GustRing() const { return gustRing_; }
    const RingWindow<5, true>& AveragingRing() const { return averagingRing_; }

private:
    void ComputeAverages();

    double outputRate_ = 0;
    int gustWindow_ = 0;
    int averagingPeriod_ = 0;
    double gust_ = 0;
    WindAverages averages_;
    RingWindow<1, false> gustRing_;
    // Channels u, v, magnitude, sin D, cos D; the extremes track the gust.
    RingWindow<5, true> averagingRing_;
};

}  // namespace vx
