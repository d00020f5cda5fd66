// At most N a second, on a fixed schedule, from instruments of every rate.

#include "network/RateLimiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace vx {
namespace {

using Clock = RateLimiter::Clock;
using std::chrono::duration;
using std::chrono::duration_cast;

Clock::time_point At(double seconds) {
    return Clock::time_point(duration_cast<Clock::duration>(duration<double>(seconds + 1000)));
}

struct Passed {
    int count = 0;
    double shortestGap = 1e9;  // seconds between two messages
};

// Samples at `instrumentHz` for `seconds`, each up to `jitter` seconds early or late.
Passed PassedOver(RateLimiter& limiter, double instrumentHz, double seconds, double jitter = 0) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> offset(-jitter, jitter);
    Passed passed;
    double last = -1e9;
    const int samples = static_cast<int>(instrumentHz * seconds);
    for (int i = 0; i < samples; ++i) {
        const double time = i / instrumentHz + offset(random);
        if (limiter.Allow(At(time))) {
            ++passed.count;
            passed.shortestGap = std::min(passed.shortestGap, time - last);
            last = time;
        }
    }
    return passed;
}

TEST(RateLimiter, KeepsTheLimitForEveryInstrumentRate) {
    struct Case {
        double limit;
        double instrument;
        int expected;  // over 60 s
    };
    for (const Case& c :
         {Case{1, 4, 60}, Case{1, 100, 60}, Case{10, 100, 600}, Case{5, 32, 300}, Case{1, 1, 60},
          Case{4, 4, 240}, Case{100, 100, 6000}, Case{100, 4, 240}, Case{1, 0.25, 15}}) {
        RateLimiter limiter(c.limit);
        const Passed passed = PassedOver(limiter, c.instrument, 60);
        // A slot may be taken a tenth of an interval early, so one more can fit in the minute,
        // but two messages are never closer than 0.9 of an interval.
        EXPECT_GE(passed.count, c.expected) << c.limit << " a second from " << c.instrument;
        EXPECT_LE(passed.count, c.expected + 1) << c.limit << " a second from " << c.instrument;
        EXPECT_GE(passed.shortestGap, 0.9 / c.limit - 1e-6) << c.limit << " from " << c.instrument;
    }
}

TEST(RateLimiter, JitterAtTheLimitCostsNoSlots) {
    // A 1 Hz instrument limited to 1 a second, its samples up to 50 ms early or late: each
    // sample still goes, none is held back to the next second.
    RateLimiter limiter(1);
    EXPECT_EQ(PassedOver(limiter, 1, 600, 0.05).count, 600);
    // A 4 Hz instrument limited to 1 a second: one a second, never two.
    RateLimiter quarter(1);
    const Passed passed = PassedOver(quarter, 4, 600, 0.02);
    EXPECT_GE(passed.count, 600);
    EXPECT_LE(passed.count, 601);
}

TEST(RateLimiter, APauseDoesNotLetABurstThrough) {
    RateLimiter limiter(1);
    EXPECT_TRUE(limiter.Allow(At(0)));
    EXPECT_FALSE(limiter.Allow(At(0.5)));
    // Ten silent seconds, then two seconds at 10 Hz: one a second again, from the first.
    std::vector<double> passed;
    for (int i = 0; i < 20; ++i) {
        if (limiter.Allow(At(10 + i / 10.0))) {
            passed.push_back(10 + i / 10.0);
        }
    }
    ASSERT_EQ(passed.size(), 3u);
    EXPECT_DOUBLE_EQ(passed[0], 10);
    EXPECT_NEAR(passed[1], 10.9, 1e-9);
    EXPECT_NEAR(passed[2], 11.9, 1e-9);
}

TEST(RateLimiter, ZeroLetsNothingThroughAndANewRateStartsAfresh) {
    RateLimiter limiter(0);
    EXPECT_FALSE(limiter.Allow(At(0)));
    limiter.SetRate(2);
    EXPECT_TRUE(limiter.Allow(At(1)));
    EXPECT_FALSE(limiter.Allow(At(1.2)));
    EXPECT_TRUE(limiter.Allow(At(1.5)));
}

}  // namespace
}  // namespace vx
