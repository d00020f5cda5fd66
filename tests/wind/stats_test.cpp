#include "connection/OutputRate.h"
#include "connection/WindConnection.h"
#include "connection/WindMath.h"
#include "connection/WindStats.h"
#include "connection/WindUnits.h"
#include "tests/wind/WindTestMessages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx {
namespace {

using test::StxMessage;

// Records what the core asks the connection window to show.
class RecordingSink : public WindViewSink {
public:
    void ShowBuildingAverage(int position, int maximum) override {
        bars.push_back({position, maximum});
        visible = true;
    }
    void HideBuildingAverage() override { visible = false; }
    void ShowAveragePanel(std::string_view text) override { panel = text; }
    void BlankAverageLabels(std::string_view text) override { labels = text; }

    std::vector<std::pair<int, int>> bars;
    bool visible = false;
    std::string panel;
    std::string labels;
};

std::string PolarMessage(double direction, double magnitude) {
    return StxMessage("Q," + std::to_string(direction) + "," + std::to_string(magnitude) + ",M,00");
}

TEST(DirectionFromUV, CompassConventionAndTheOneSidedBand) {
    struct Case {
        double u, v, direction;
    };
    const Case cases[] = {{0, 1, 90},      {0, -1, 270}, {1, 0, 180},    {-1, 0, 0},
                          {1, 0.004, 180}, {0, 0, 0},    {-1, 0.004, 0}, {1, -0.004, 180.22918244}};
    for (const Case& c : cases) {
        EXPECT_NEAR(DirectionFromUV(c.u, c.v), c.direction, 1e-6) << c.u << "," << c.v;
    }
}

TEST(PolarToUV, RoundTripsThroughDirectionFromUV) {
    const UV north = PolarToUV(10, 90);
    EXPECT_NEAR(north.u, 0, 1e-12);
    EXPECT_DOUBLE_EQ(north.v, 10);
    EXPECT_DOUBLE_EQ(PolarToUV(10, 0).u, -10);
    for (double d = 0.5; d < 360; d += 7.25) {
        if (std::abs(d - 180) > 1) {
            const UV uv = PolarToUV(3, d);
            EXPECT_NEAR(DirectionFromUV(uv.u, uv.v), d, 1e-9) << d;
        }
    }
}

TEST(SpeedUnits, FactorsAndTexts) {
    EXPECT_DOUBLE_EQ(DisplayFactor(4), 196.91);
    EXPECT_EQ(UnitText(1), "knots");
    EXPECT_EQ(UnitText(5), "");
    WindConnection connection;
    EXPECT_DOUBLE_EQ(connection.DisplayFactor(), 0);
    connection.SetUnits(2);
    connection.SetUnits(7);  // ignored
    EXPECT_DOUBLE_EQ(connection.DisplayFactor(), 2.237);
    EXPECT_EQ(connection.UnitText(), "mph");
}

TEST(MinMax, DirectionsWrapThroughNorth) {
    MinMax extremes;
    ClearMaxMin(extremes, 10);
    WindSample sample;
    sample.direction = 350;
    UpdateMinMax(extremes, sample);
    EXPECT_DOUBLE_EQ(extremes.minDirection, 350);
    EXPECT_DOUBLE_EQ(extremes.maxDirection, 10);

    ClearMaxMin(extremes, 350);
    sample.direction = 5;
    UpdateMinMax(extremes, sample);
    EXPECT_DOUBLE_EQ(extremes.maxDirection, 5);
    EXPECT_DOUBLE_EQ(extremes.minDirection, 350);
    sample.direction = 170;  // 165 clockwise of the maximum, 180 anticlockwise of the minimum
    UpdateMinMax(extremes, sample);
    EXPECT_DOUBLE_EQ(extremes.maxDirection, 170);
    EXPECT_DOUBLE_EQ(extremes.minDirection, 350);
}

TEST(MinMax, ClearGivesSentinelsUntilTheNextValidSample) {
    WindConnection connection;
    connection.ApplyFormat("VARN_POLAR_TWO_AXIS", "IDMN");
    connection.HandlePacket(PolarMessage(123, 4));
    connection.ClearMaxMin();
    EXPECT_DOUBLE_EQ(connection.Extremes().minMagnitude, 1000);
    EXPECT_DOUBLE_EQ(connection.Extremes().maxU, -1000);
    EXPECT_DOUBLE_EQ(connection.Extremes().minDirection, 123);
    connection.HandlePacket(PolarMessage(130, 2));
    connection.HandlePacket(PolarMessage(125, 6));
    EXPECT_DOUBLE_EQ(connection.Extremes().minMagnitude, 2);
    EXPECT_DOUBLE_EQ(connection.Extremes().maxMagnitude, 6);
    EXPECT_DOUBLE_EQ(connection.Extremes().maxDirection, 130);
}

// Reset Max-Min takes the directions from the last valid sample: a current sample that is out
// of range (400) or was never set would become a minimum that a steady wind never clears.
TEST(MinMax, DirectionsStartFromTheLastValidSample) {
    WindConnection connection;
    connection.ApplyFormat("VARN_POLAR_TWO_AXIS", "IDMN");
    connection.HandlePacket(PolarMessage(80, 4));
    connection.HandlePacket(PolarMessage(400, 4));
    connection.ClearMaxMin();
    EXPECT_TRUE(connection.Extremes().directionsSet);
    EXPECT_DOUBLE_EQ(connection.Extremes().minDirection, 80);
    EXPECT_DOUBLE_EQ(connection.Extremes().maxDirection, 80);
    for (double d : {90, 95, 90}) {
        connection.HandlePacket(PolarMessage(d, 4));
    }
    EXPECT_DOUBLE_EQ(connection.Extremes().minDirection, 80);
    EXPECT_DOUBLE_EQ(connection.Extremes().maxDirection, 95);

    // Nothing valid yet: the directions stay unset until the first valid one seeds both.
    WindConnection fresh;
    fresh.ApplyFormat("VARN_POLAR_TWO_AXIS", "IDMN");
    fresh.HandlePacket(PolarMessage(400, 4));
    fresh.ClearMaxMin();
    EXPECT_FALSE(fresh.Extremes().directionsSet);
    for (double d : {90, 95, 90}) {
        fresh.HandlePacket(PolarMessage(d, 4));
    }
    EXPECT_TRUE(fresh.Extremes().directionsSet);
    EXPECT_DOUBLE_EQ(fresh.Extremes().minDirection, 90);
    EXPECT_DOUBLE_EQ(fresh.Extremes().maxDirection, 95);
}

TEST(MinMax, TheFirstValidDirectionOfAConnectionSeedsBoth) {
    WindConnection connection;
    connection.ApplyFormat("VARN_POLAR_TWO_AXIS", "IDMN");
    connection.HandlePacket(PolarMessage(90, 4));
    EXPECT_DOUBLE_EQ(connection.Extremes().minDirection, 90);
    EXPECT_DOUBLE_EQ(connection.Extremes().maxDirection, 90);
}

TEST(ExtendedDirection, KeepsRisingThroughNorth) {
    ExtendedDirection extended;
    std::vector<double> seen;
    for (double d : {350, 10, 20, 200, 100}) {
        extended.Update(d);
        seen.push_back(extended.extended);
    }
    EXPECT_EQ(seen, (std::vector<double>{350, 370, 380, 200, 100}));
}

TEST(OutputRate, SnapsMeasuredRatesToTheInstrumentsRates) {
    struct Boundary {
        double at;     // measured rates from here up
        double below;  // rate just below `at`
        double from;   // rate at `at`
    };
    for (const Boundary& b :
         {Boundary{0.4, 0.25, 0.5}, Boundary{0.75, 0.5, 1}, Boundary{1.5, 1, 2},
          Boundary{2.5, 2, 4}, Boundary{4.5, 4, 5}, Boundary{5.5, 5, 8}, Boundary{8.5, 8, 10},
          Boundary{10.5, 10, 32}, Boundary{32.5, 32, 40}, Boundary{40.5, 40, 50},
          Boundary{50.5, 50, 100}, Boundary{100.5, 100, 100}}) {
        EXPECT_DOUBLE_EQ(SnapOutputRate(b.at - 1e-9), b.below) << b.at;
        EXPECT_DOUBLE_EQ(SnapOutputRate(b.at), b.from) << b.at;
    }
    EXPECT_DOUBLE_EQ(SnapOutputRate(0), 0.25);
    // A 100 Hz instrument measured a little high is still 100 Hz, never 1.
    EXPECT_DOUBLE_EQ(SnapOutputRate(102.4), 100);
    EXPECT_DOUBLE_EQ(SnapOutputRate(1000), 100);
    EXPECT_EQ(GustWindowFor(4), 12);
    EXPECT_EQ(GustWindowFor(0.25), 0);
    EXPECT_EQ(GustWindowFor(1000), 300);
    EXPECT_EQ(AveragingWindowFor(600, 100), 60000);
    EXPECT_EQ(AveragingWindowFor(600, 1000), 60000);
    EXPECT_EQ(AveragingWindowFor(120, 0.25), 30);
}

TEST(OutputRate, CountsOverTheTimeThatReallyPassed) {
    // 10 Hz counted by a 5 s timer that fired 300 ms late: 53 messages, still 10 Hz (it was
    // 10.6, so 32 Hz, when divided by the interval alone).
    EXPECT_DOUBLE_EQ(SnapOutputRate(MeasuredOutputRate(53, 5300, 5000)), 10);
    // A stall of 4 s past the tick, its messages delivered with it.
    EXPECT_DOUBLE_EQ(SnapOutputRate(MeasuredOutputRate(90, 9000, 5000)), 10);
    // A timer that fired early is taken as the interval, never as a shorter period.
    EXPECT_DOUBLE_EQ(MeasuredOutputRate(50, 4900, 5000), 10);
    EXPECT_DOUBLE_EQ(MeasuredOutputRate(0, 5000, 5000), 0);
    EXPECT_DOUBLE_EQ(MeasuredOutputRate(7, 0, 0), 0);
}

TEST(Gust, MeanOfTheLastThreeSecondsOfSamples) {
    WindStatistics stats;
    stats.SetOutputRate(1);
    std::vector<double> gusts;
    for (double m : {3, 6, 9, 12}) {
        stats.UpdateGust(m);
        gusts.push_back(stats.Gust());
    }
    EXPECT_EQ(gusts, (std::vector<double>{3, 4.5, 6, 9}));

    WindStatistics slow;
    slow.SetOutputRate(0.25);
    slow.UpdateGust(5);
    EXPECT_DOUBLE_EQ(slow.Gust(), 0);
}

TEST(Averages, BuildingBarRunsUpToTheWindowAndHides) {
    RecordingSink sink;
    WindConnection connection(&sink);
    connection.ApplyFormat("VARN_POLAR_TWO_AXIS", "IDMN");
    connection.SetOutputRate(1);
    connection.SetAveraging(2);
    EXPECT_EQ(sink.panel, "Average: 2 min");
    for (int i = 0; i < 120; ++i) {
        connection.HandlePacket(PolarMessage(90, 5));
    }
    ASSERT_EQ(sink.bars.size(), 119u);
    EXPECT_EQ(sink.bars.front(), std::make_pair(1, 120));
    EXPECT_EQ(sink.bars.back(), std::make_pair(119, 120));
    EXPECT_FALSE(sink.visible);

    sink.bars.clear();
    connection.SetAveraging(10);
    EXPECT_EQ(sink.panel, "Average: 10 min");
    connection.HandlePacket(PolarMessage(90, 5));
    EXPECT_EQ(sink.bars, (std::vector<std::pair<int, int>>{{1, 600}}));
    EXPECT_TRUE(sink.visible);

    connection.SetAveraging(0);
    EXPECT_EQ(sink.panel, "Average: Off");
    EXPECT_EQ(sink.labels, "---");
    sink.bars.clear();
    connection.HandlePacket(PolarMessage(90, 5));
    EXPECT_TRUE(sink.bars.empty());
    connection.SetAveraging(5);  // not a period: texts and period stay, rings still emptied
    EXPECT_EQ(sink.panel, "Average: Off");
    EXPECT_FALSE(connection.AveragingOn());
}

TEST(Averages, VectorAndScalarMeans) {
    WindConnection connection;
    connection.ApplyFormat("VARN_POLAR_TWO_AXIS", "IDMN");
    connection.SetOutputRate(1);
    connection.SetAveraging(2);
    connection.HandlePacket(PolarMessage(90, 10));
    connection.HandlePacket(PolarMessage(270, 10));
    EXPECT_NEAR(connection.Averages().vectorSpeed, 0, 1e-12);
    EXPECT_DOUBLE_EQ(connection.Averages().scalarSpeed, 10);

    connection.SetAveraging(2);
    connection.HandlePacket(PolarMessage(350, 4));
    connection.HandlePacket(PolarMessage(20, 4));
    EXPECT_NEAR(connection.Averages().vectorDirection, 5, 1e-9);
    EXPECT_NEAR(connection.Averages().scalarDirection, 5, 1e-9);
}

TEST(Averages, GustExtremesOfTheWindow) {
    WindStatistics stats;
    stats.SetOutputRate(1);
    stats.SetAveragingPeriod(120);
    WindSample sample;
    for (double m : {3, 6, 9, 12, 0}) {
        sample.magnitude = m;
        stats.UpdateAverages(sample);
    }
    // gusts 3, 4.5, 6, 9, 7
    EXPECT_DOUBLE_EQ(stats.Averages().maxGust, 9);
    EXPECT_DOUBLE_EQ(stats.Averages().minGust, 3);
}

TEST(Averages, NothingIsAveragedBeforeTheRateIsKnown) {
    WindStatistics stats;
    stats.SetAveragingPeriod(600);
    WindSample sample;
    sample.magnitude = 4;
    EXPECT_FALSE(stats.UpdateAverages(sample).stored);
    EXPECT_DOUBLE_EQ(stats.Gust(), 0);
    EXPECT_EQ(stats.AveragingRing().Count(), 0);
}

}  // namespace
}  // namespace vx
