// The running-sum statistics against a plain re-sum of the whole window per sample, kept here
// as the reference: the rings, indexes, full flags and window sizes exactly as the instrument
// rules describe them, with no shortcut.

#include "connection/OutputRate.h"
#include "connection/WindMath.h"
#include "connection/WindStats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace vx {
namespace {

class PlainStatistics {
public:
    PlainStatistics() : gustRing_(kGustCapacity), ring_(kAveragingCapacity) {}

    void SetOutputRate(double hz) {
        rate_ = hz;
        gustWindow_ = GustWindowFor(hz);
    }
    void SetPeriod(int seconds) { period_ = seconds; }
    void Reset() {
        std::fill(gustRing_.begin(), gustRing_.end(), 0.0);
        std::fill(ring_.begin(), ring_.end(), Record{});
        gustIndex_ = index_ = 0;
        gustFull_ = full_ = false;
    }

    void UpdateGust(double magnitude) {
        const int n = gustWindow_;
        if (n == 0) {
            return;
        }
        gustRing_[gustIndex_] = magnitude;
        if (++gustIndex_ == n) {
            gustFull_ = true;
        }
        const int count = gustFull_ ? n : gustIndex_;
        double sum = 0;
        for (int i = 0; i < count; ++i) {
            sum += gustRing_[i];
        }
        gust = sum / count;
        if (gustIndex_ >= n) {
            gustIndex_ = 0;
        }
    }

    void UpdateAverages(const WindSample& s) {
        UpdateGust(s.magnitude);
        const int n = AveragingWindowFor(period_, rate_);
        if (n == 0) {
            return;
        }
        // Sine and cosine are taken when the record is stored instead of in every re-sum: the
        // same numbers, and a reference fast enough to run over large windows.
        const double radians = DegreesToRadians(s.direction);
        ring_[index_] = {s.u, s.v, gust, s.magnitude, std::sin(radians), std::cos(radians)};
        if (++index_ == n) {
            full_ = true;
        }
        count = full_ ? n : index_;
        double su = 0, sv = 0, sm = 0, ss = 0, sc = 0, hi = -1e30, lo = 1e30;
        for (int i = 0; i < count; ++i) {
            const Record& r = ring_[i];
            su += r.u;
            sv += r.v;
            sm += r.magnitude;
            ss += r.sinDirection;
            sc += r.cosDirection;
            hi = std::max(hi, r.gust);
            lo = std::min(lo, r.gust);
        }
        meanU = su / count;
        meanV = sv / count;
        averages.vectorSpeed = std::sqrt(meanU * meanU + meanV * meanV);
        averages.scalarSpeed = sm / count;
        averages.vectorDirection = DirectionFromUV(meanU, meanV);
        meanSin = ss / count;
        meanCos = sc / count;
        averages.scalarDirection = DirectionFromUV(-meanCos, meanSin);
        averages.maxGust = hi;
        averages.minGust = lo;
        if (index_ >= n) {
            index_ = 0;
        }
    }

    double gust = 0;
    int count = 0;
    double meanU = 0, meanV = 0, meanSin = 0, meanCos = 0;
    WindAverages averages;
    int Index() const { return index_; }
    bool Full() const { return full_; }

private:
    struct Record {
        double u = 0, v = 0, gust = 0, magnitude = 0;
        double sinDirection = 0, cosDirection = 1;  // direction 0
    };
    double rate_ = 0;
    int gustWindow_ = 0;
    int period_ = 0;
    std::vector<double> gustRing_;
    int gustIndex_ = 0;
    bool gustFull_ = false;
    std::vector<Record> ring_;
    int index_ = 0;
    bool full_ = false;
};

bool Near(double actual, double expected) {
    return std::abs(actual - expected) <= 1e-9 * std::max(1.0, std::abs(expected));
}

// A direction is only defined to rounding when its vector is not tiny and not at the edge of
// the band where V counts as zero.
void ExpectSameDirection(double actual, double expected, double x, double y, const char* what) {
    if (std::hypot(x, y) < 1e-6 || std::abs(y - 0.005) < 1e-9 || std::abs(y) < 1e-12) {
        return;
    }
    double difference = std::abs(actual - expected);
    difference = std::min(difference, 360 - difference);
    EXPECT_LT(difference, 1e-7) << what;
}

struct Scenario {
    unsigned seed;
    std::vector<double> rates;
    std::vector<int> periods;
    int samples;
    double changeChance;  // per sample, of a rate change (no reset) or a period switch (reset)
};

void RunScenario(const Scenario& scenario) {
    std::mt19937_64 random(scenario.seed);
    std::uniform_real_distribution<double> unit(0, 1);
    WindStatistics fast;
    PlainStatistics plain;
    auto pickRate = [&] { return scenario.rates[random() % scenario.rates.size()]; };
    auto pickPeriod = [&] { return scenario.periods[random() % scenario.periods.size()]; };
    const double rate = pickRate();
    const int period = pickPeriod();
    fast.SetOutputRate(rate);
    plain.SetOutputRate(rate);
    fast.SetAveragingPeriod(period);
    plain.SetPeriod(period);
    int rebuilds = 0;

    for (int i = 0; i < scenario.samples; ++i) {
        if (unit(random) < scenario.changeChance) {
            if (random() % 2 == 0) {
                const double newRate = pickRate();
                fast.SetOutputRate(newRate);
                plain.SetOutputRate(newRate);
            } else {
                const int newPeriod = pickPeriod();
                fast.SetAveragingPeriod(newPeriod);
                plain.SetPeriod(newPeriod);
                fast.ResetAverages();
                plain.Reset();
            }
            ++rebuilds;
        }
        WindSample sample;
        sample.magnitude = 100 * unit(random);
        sample.direction = 360 * unit(random);
        if (random() % 8 == 0) {  // calm spells and steady winds make ties and cancellations
            sample.magnitude = std::floor(sample.magnitude / 25);
            sample.direction = std::floor(sample.direction / 90) * 90;
        }
        const UV uv = PolarToUV(sample.magnitude, sample.direction);
        sample.u = uv.u;
        sample.v = uv.v;
        const AverageProgress progress = fast.UpdateAverages(sample);
        plain.UpdateAverages(sample);

        ASSERT_TRUE(Near(fast.Gust(), plain.gust)) << "sample " << i;
        if (!progress.stored) {
            continue;
        }
        ASSERT_EQ(progress.position, plain.count) << "sample " << i;
        ASSERT_EQ(progress.full, plain.Full()) << "sample " << i;
        ASSERT_EQ(fast.AveragingRing().Index(), plain.Index()) << "sample " << i;
        const WindAverages& a = fast.Averages();
        const WindAverages& b = plain.averages;
        ASSERT_TRUE(Near(a.vectorSpeed, b.vectorSpeed)) << "sample " << i;
        ASSERT_TRUE(Near(a.scalarSpeed, b.scalarSpeed)) << "sample " << i;
        ASSERT_TRUE(Near(a.maxGust, b.maxGust)) << "sample " << i;
        ASSERT_TRUE(Near(a.minGust, b.minGust)) << "sample " << i;
        ExpectSameDirection(a.vectorDirection, b.vectorDirection, plain.meanU, plain.meanV,
                            "vector direction");
        ExpectSameDirection(a.scalarDirection, b.scalarDirection, -plain.meanCos, plain.meanSin,
                            "scalar direction");
        if (testing::Test::HasFailure()) {
            FAIL() << "sample " << i;
        }
    }
    EXPECT_GT(scenario.changeChance == 0 ? 1 : rebuilds, 0);
}

TEST(AveragesDifferential, SteadyRateWrapsTheRingManyTimes) {
    RunScenario({1, {1}, {120}, 30000, 0});  // 250 wraps of a 120-record window
    RunScenario({2, {10}, {120}, 20000, 0});
}

TEST(AveragesDifferential, PeriodSwitchesAndRateChangesWithoutReset) {
    // Rate changes keep the ring, so the window takes in zeros and records of earlier windows.
    RunScenario({3, {0.25, 0.5, 1, 2, 4, 5}, {0, 120, 600}, 40000, 0.002});
    RunScenario({4, {0, 1, 2, 8, 10}, {120, 600}, 40000, 0.0005});
    RunScenario({5, {0.25, 1, 4}, {120}, 20000, 0.05});
}

TEST(AveragesDifferential, LargeWindowAtOneHundredHertz) {
    RunScenario({6, {100}, {120}, 27000, 0});  // 12000 records, wrapped twice
}

}  // namespace
}  // namespace vx
