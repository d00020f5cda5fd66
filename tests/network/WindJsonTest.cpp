// The JSON of samples and statistics: times in UTC, exact numbers with a point under any
// locale, null for what is not there.

#include "network/WindJson.h"
#include "tests/network/NetworkTestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

namespace vx {
namespace {

using test::JsonIsNull;
using test::JsonNumber;
using test::JsonText;

WallClock::time_point At(long long millisecondsSinceEpoch) {
    return WallClock::time_point(std::chrono::milliseconds(millisecondsSinceEpoch));
}

TEST(WindJson, TimeIsUtcIso8601WithMilliseconds) {
    EXPECT_EQ(IsoUtcTime(At(0)), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(IsoUtcTime(At(1767323045007)), "2026-01-02T03:04:05.007Z");
    EXPECT_EQ(IsoUtcTime(At(951782400999)), "2000-02-29T00:00:00.999Z");
}

TEST(WindJson, SampleHoldsTheExactValuesWithAPointUnderACommaLocale) {
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "de_DE.UTF-8 locale missing";
    WindReport report{At(1767323045250), 2.2360679774997898, 63.43494882292201, -1, 2, 0.1};
    const std::string json = SampleJson(report);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(json,
              "{\"time\":\"2026-01-02T03:04:05.250Z\",\"speed\":2.23606797749979,"
              "\"direction\":63.43494882292201,\"u\":-1,\"v\":2,\"w\":0.1,"
              "\"units\":{\"speed\":\"m/s\",\"direction\":\"degrees\"}}");
    EXPECT_EQ(JsonNumber(json, "speed"), report.magnitude);
}

TEST(WindJson, StatisticsAreNullWhileUnknownOrAveragingIsOff) {
    WindSummary summary;
    summary.current = WindReport{At(0), 3, 90, 0, 3, 0};
    summary.gust = 0;
    const std::string early = SummaryJson(summary);
    EXPECT_TRUE(JsonIsNull(early, "gust"));
    EXPECT_EQ(JsonNumber(early, "averaging_minutes"), 0);
    for (const char* name : {"vector_speed", "vector_direction", "scalar_speed", "scalar_direction",
                             "max_gust", "min_gust"}) {
        EXPECT_TRUE(JsonIsNull(early, name)) << name;
    }
    summary.gustKnown = true;
    summary.gust = 3.5;
    summary.averagingMinutes = 2;
    summary.minGust = 0;
    const std::string later = SummaryJson(summary);
    EXPECT_EQ(JsonNumber(later, "gust"), 3.5);
    EXPECT_EQ(JsonNumber(later, "min_gust"), 0);
    EXPECT_EQ(JsonNumber(later, "averaging_minutes"), 2);
}

TEST(WindJson, ValuesJsonCannotHoldBecomeNull) {
    // w is never range-checked: a units slip can make it anything.
    WindReport report{At(0), 1, 2, 3, 4, std::numeric_limits<double>::infinity()};
    const std::string json = SampleJson(report);
    EXPECT_TRUE(JsonIsNull(json, "w"));
    report.w = std::nan("");
    EXPECT_TRUE(JsonIsNull(SampleJson(report), "w"));
}

}  // namespace
}  // namespace vx
