#include "alarm/AlarmCheck.h"
#include "platform/NumberText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace vx {
namespace {

using ::testing::ElementsAre;

class RecordingSink : public AlarmSink {
public:
    void RaiseSpeedAlarm(const std::string& name) override { raised.push_back("speed " + name); }
    void RaiseDirectionAlarm(const std::string& name) override {
        raised.push_back("direction " + name);
    }
    void RaiseNoDataAlarm(const std::string& name) override { raised.push_back("no data " + name); }
    std::vector<std::string> raised;
};

AlarmSettings SpeedAbove(double threshold) {
    AlarmSettings settings;
    settings.SpeedAlarmOn = true;
    settings.TriggerAbove = true;
    settings.SpeedThreshold = threshold;
    return settings;
}

AlarmSettings Sector(double from, double to) {
    AlarmSettings settings;
    settings.DirectionAlarmOn = true;
    settings.DirectionFrom = from;
    settings.DirectionTo = to;
    return settings;
}

// Feeds speeds (or directions) one message at a time; returns the message number (1-based) at
// which the first alarm was raised, 0 when none was.
int FirstAlarmAt(ConnectionAlarms& alarms, RecordingSink& sink, const std::vector<double>& speeds,
                 const std::vector<double>& directions) {
    for (size_t i = 0; i < speeds.size(); ++i) {
        alarms.CheckAlarms("Mast", speeds[i], directions[i], sink);
        if (!sink.raised.empty()) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

TEST(ConnectionAlarmsTest, SpeedCountRestartsWhenConditionBreaks) {
    ConnectionAlarms alarms;
    RecordingSink sink;
    alarms.SetAlarmSettings(SpeedAbove(10));
    EXPECT_EQ(FirstAlarmAt(alarms, sink, {10.5, 9, 10.5, 10.5}, {0, 0, 0, 0}), 4);
    EXPECT_THAT(sink.raised, ElementsAre("speed Mast"));
    EXPECT_TRUE(alarms.AlarmLatched());
}

TEST(ConnectionAlarmsTest, TriggerBelowAndEqualSpeedDoesNotCount) {
    ConnectionAlarms alarms;
    RecordingSink sink;
    AlarmSettings settings = SpeedAbove(5);
    settings.TriggerAbove = false;
    alarms.SetAlarmSettings(settings);
    EXPECT_EQ(FirstAlarmAt(alarms, sink, {4, 5, 4, 4.9}, {0, 0, 0, 0}), 4);
    alarms.SetAlarmSettings(SpeedAbove(5));
    sink.raised.clear();
    EXPECT_EQ(FirstAlarmAt(alarms, sink, {5, 5, 5}, {0, 0, 0}), 0);
}

TEST(ConnectionAlarmsTest, DirectionCountSurvivesMessagesOutsideTheSector) {
    ConnectionAlarms alarms;
    RecordingSink sink;
    alarms.SetAlarmSettings(Sector(90, 180));
    EXPECT_EQ(FirstAlarmAt(alarms, sink, {0, 0, 0}, {135, 200, 135}), 3);
    EXPECT_THAT(sink.raised, ElementsAre("direction Mast"));
}

TEST(ConnectionAlarmsTest, SectorBoundsAreExcludedAndWrapThroughNorth) {
    EXPECT_TRUE(InDirectionSector(355, 350, 10));
    EXPECT_TRUE(InDirectionSector(5, 350, 10));
    EXPECT_TRUE(InDirectionSector(0, 350, 10));
    EXPECT_FALSE(InDirectionSector(10, 350, 10));
    EXPECT_FALSE(InDirectionSector(350, 350, 10));
    EXPECT_FALSE(InDirectionSector(180, 350, 10));
    EXPECT_FALSE(InDirectionSector(90, 90, 180));
    EXPECT_FALSE(InDirectionSector(180, 90, 180));
    EXPECT_TRUE(InDirectionSector(90.1, 90, 180));
    // Equal bounds: everything but that direction.
    EXPECT_TRUE(InDirectionSector(0, 45, 45));
    EXPECT_TRUE(InDirectionSector(46, 45, 45));
    EXPECT_FALSE(InDirectionSector(45, 45, 45));
}

TEST(ConnectionAlarmsTest, LatchStopsTestingUntilSettingsAreAppliedAgain) {
    ConnectionAlarms alarms;
    RecordingSink sink;
    const AlarmSettings settings = SpeedAbove(10);
    alarms.SetAlarmSettings(settings);
    for (int i = 0; i < 5; ++i) {
        alarms.CheckAlarms("Mast", 12, 0, sink);
    }
    EXPECT_EQ(sink.raised.size(), 1u);
    EXPECT_EQ(alarms.SpeedAlarmCount(), 2);  // latched: not counted further

    // The status bar click re-applies the settings; the count is kept, so the next message
    // over the threshold raises the alarm again at once.
    alarms.SetAlarmSettings(settings);
    EXPECT_FALSE(alarms.AlarmLatched());
    alarms.CheckAlarms("Mast", 12, 0, sink);
    EXPECT_EQ(sink.raised.size(), 2u);

    alarms.ResetAlarms();  // a new connection starts from nothing
    EXPECT_EQ(alarms.SpeedAlarmCount(), 0);
    EXPECT_EQ(alarms.DirectionAlarmCount(), 0);
    alarms.CheckAlarms("Mast", 12, 0, sink);
    EXPECT_EQ(sink.raised.size(), 2u);
}

TEST(ConnectionAlarmsTest, OneMessageCanRaiseBothAlarmsDirectionLast) {
    ConnectionAlarms alarms;
    RecordingSink sink;
    AlarmSettings settings = SpeedAbove(10);
    settings.DirectionAlarmOn = true;
    settings.DirectionFrom = 90;
    settings.DirectionTo = 180;
    alarms.SetAlarmSettings(settings);
    alarms.CheckAlarms("Mast", 12, 100, sink);
    alarms.CheckAlarms("Mast", 12, 100, sink);
    EXPECT_THAT(sink.raised, ElementsAre("speed Mast", "direction Mast"));
}

TEST(ConnectionAlarmsTest, DisabledAlarmsCountNothing) {
    ConnectionAlarms alarms;
    RecordingSink sink;
    alarms.SetAlarmSettings(AlarmSettings{});
    for (int i = 0; i < 3; ++i) {
        alarms.CheckAlarms("Mast", 100, 100, sink);
    }
    EXPECT_TRUE(sink.raised.empty());
    EXPECT_EQ(alarms.SpeedAlarmCount(), 0);
    EXPECT_EQ(alarms.DirectionAlarmCount(), 0);
}

TEST(SpeedUnitTest, ThresholdsConvertThroughTheUnitFactor) {
    EXPECT_DOUBLE_EQ(ToMetresPerSecond(20, 1), 20 / 1.944);
    EXPECT_DOUBLE_EQ(ToMetresPerSecond(20, 0), 20);
    EXPECT_DOUBLE_EQ(ToMetresPerSecond(36, 3), 10);
    EXPECT_DOUBLE_EQ(ToMetresPerSecond(196.91, 4), 1);
    EXPECT_DOUBLE_EQ(ToMetresPerSecond(7, 99), 7);  // unknown unit: m/s
    EXPECT_NEAR(FromMetresPerSecond(ToMetresPerSecond(20, 1), 2), 20 / 1.944 * 2.237, 1e-12);
    EXPECT_EQ(SpeedUnitLabel(1), "knots");
    EXPECT_EQ(SpeedUnitLabel(4), "fpm");
}

TEST(SpeedUnitTest, FloatTextAcceptsNumbersOnly) {
    double value = -1;
    EXPECT_TRUE(ParseDecimalNumber("12.5", value));
    EXPECT_EQ(value, 12.5);
    EXPECT_TRUE(ParseDecimalNumber(" -3 ", value));
    EXPECT_EQ(value, -3);
    EXPECT_TRUE(ParseDecimalNumber("+1e2", value));
    EXPECT_EQ(value, 100);
    for (const char* bad : {"", "  ", "12,5", "abc", "1.2.3", "inf", "nan", "+-1", "0x10", "5 m"}) {
        value = 42;
        EXPECT_FALSE(ParseDecimalNumber(bad, value)) << bad;
        EXPECT_EQ(value, 42) << bad;
    }
    EXPECT_EQ(NotAFloatText("abc"), "'abc' is not a valid floating point value");
}

TEST(SpeedUnitTest, PortNumberComesFromFourthAndFifthCharacters) {
    EXPECT_EQ(PortNumberFromText("COM7"), 7);
    EXPECT_EQ(PortNumberFromText("COM12"), 12);
    EXPECT_EQ(PortNumberFromText("COM123"), 12);
    EXPECT_EQ(PortNumberFromText("COM"), -1);
    EXPECT_EQ(PortNumberFromText(""), -1);
    EXPECT_EQ(PortNumberFromText("COMx"), -1);
    EXPECT_EQ(PortNumberFromText("COM1x"), -1);
}

AlarmSettings NoDataFor(double seconds) {
    AlarmSettings settings;
    settings.NoDataAlarmOn = true;
    settings.NoDataSeconds = seconds;
    return settings;
}

TEST(NoDataAlarm, OffByDefaultFiresOnceAtItsTimeAndClearsWithTheOthers) {
    RecordingSink sink;
    ConnectionAlarms alarms;
    alarms.CheckSilence("Mast", 1e6, sink);
    EXPECT_TRUE(sink.raised.empty());

    alarms.SetAlarmSettings(NoDataFor(30));
    alarms.CheckSilence("Mast", 29.9, sink);
    EXPECT_TRUE(sink.raised.empty());
    alarms.CheckSilence("Mast", 30, sink);
    alarms.CheckSilence("Mast", 31, sink);
    EXPECT_THAT(sink.raised, ElementsAre("no data Mast"));
    EXPECT_TRUE(alarms.AlarmLatched());

    // The reset (a status bar click, or Apply) clears it; a later quiet spell raises it again.
    alarms.SetAlarmSettings(NoDataFor(30));
    EXPECT_FALSE(alarms.AlarmLatched());
    alarms.CheckSilence("Mast", 5, sink);
    EXPECT_EQ(sink.raised.size(), 1u);
    alarms.CheckSilence("Mast", 30, sink);
    EXPECT_THAT(sink.raised, ElementsAre("no data Mast", "no data Mast"));
}

TEST(NoDataAlarm, ASpeedAlarmLatchedFirstKeepsItQuiet) {
    RecordingSink sink;
    ConnectionAlarms alarms;
    AlarmSettings settings = NoDataFor(10);
    settings.SpeedAlarmOn = true;
    settings.TriggerAbove = true;
    settings.SpeedThreshold = 10;
    alarms.SetAlarmSettings(settings);
    alarms.CheckAlarms("Mast", 12, 0, sink);
    alarms.CheckAlarms("Mast", 12, 0, sink);
    alarms.CheckSilence("Mast", 60, sink);
    EXPECT_THAT(sink.raised, ElementsAre("speed Mast"));
}

}  // namespace
}  // namespace vx
