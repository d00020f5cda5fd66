#include "connection/MessageParser.h"
#include "connection/WindConnection.h"
#include "tests/wind/WindTestMessages.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

namespace vx {
namespace {

using test::NmeaMessage;
using test::StxMessage;

WindConnection ConnectionFor(std::string_view name, std::string_view letters) {
    WindConnection connection;
    connection.ApplyFormat(name, letters);
    connection.SetUnits(0);
    return connection;
}

TEST(CheckMessage, StxMessageWithItsChecksumIsAcceptedAndAChangedDigitIsNot) {
    const std::string message = StxMessage("Q,+001.00,-002.00,M,00");
    EXPECT_TRUE(CheckMessage(message, false));
    EXPECT_FALSE(CheckMessage(message, true));  // NMEA framing wants "$"
    std::string broken = message;
    broken[broken.size() - 2] = broken[broken.size() - 2] == '0' ? '1' : '0';
    EXPECT_FALSE(CheckMessage(broken, false));
}

TEST(CheckMessage, LengthStartAndDelimiterRules) {
    // Nine characters never pass, ten may.
    const std::string nine = NmeaMessage("AB,1");
    ASSERT_EQ(nine.size(), 9u);
    EXPECT_FALSE(CheckMessage(nine, true));
    const std::string ten = NmeaMessage("AB,12");
    EXPECT_TRUE(CheckMessage(ten, true));
    EXPECT_FALSE(CheckMessage("#" + ten.substr(1), true));
    EXPECT_FALSE(CheckMessage("$IIMWV,125.1,T,5.5,M,A\r", true));  // no "*"
    EXPECT_FALSE(CheckMessage("$GPRMC,1,2,3,*QQ\r", true));        // no hex digits
}

TEST(CheckMessage, ReadsTheChecksumTheWayPercentXDoes) {
    // XOR of "IIRSA,28,A,," is 0x0B: one digit, lower case, leading blanks, trailing junk all
    // read the same number; a sign, or three digits whose low byte differs, do not.
    const std::string body = "$IIRSA,28,A,,*";
    for (const char* tail : {"0B\r", "b\r", "0b\r", " \t0B\r", "0Bzz\r", "10B\r", "B<0x0D>\r"}) {
        EXPECT_TRUE(CheckMessage(body + tail, true)) << tail;
    }
    for (const char* tail : {"-0B\r", "0C\r", "B0\r", "\r", "x0B\r", "0x0B\r"}) {
        EXPECT_FALSE(CheckMessage(body + tail, true)) << tail;
    }
}

TEST(CheckMessage, XorUsesBytesAboveAscii) {
    const std::string body = "GPBOD,16.8,T,14.9,M,Grenze des Beschr\xE4nkungsgebiete,";
    EXPECT_TRUE(CheckMessage("$" + body + "*A9\r", true));
}

TEST(TrimControl, DropsFramingButKeepsDollarAndHighBytes) {
    EXPECT_EQ(TrimControl("\x02 Q,1\x03"
                          "AB\r\n"),
              "Q,1\x03"
              "AB");
    EXPECT_EQ(TrimControl("$A*00\r"), "$A*00");
    EXPECT_EQ(TrimControl("\xE4x\xE4"), "\xE4x\xE4");
    EXPECT_EQ(TrimControl("\r\n\x01 "), "");
}

TEST(SplitFields, KeepsLetterCountFieldsPlusOneSlot) {
    std::vector<std::string_view> slots;
    EXPECT_EQ(SplitFields("Q,1,2,M,00\x03"
                          "AB",
                          4, slots),
              5);
    EXPECT_EQ(slots, (std::vector<std::string_view>{"Q", "1", "2", "M", ""}));
    EXPECT_EQ(SplitFields("$II,229,R,5.0,M,A*1F", 6, slots), 6);
    EXPECT_EQ(slots[5], "A*1F");
    EXPECT_EQ(SplitFields("A,B", 4, slots), 2);
    EXPECT_EQ(slots[1], "B");
    EXPECT_EQ(SplitFields("A,", 1, slots), 2);
    EXPECT_EQ(slots, (std::vector<std::string_view>{"A", ""}));
    EXPECT_EQ(SplitFields("A,B,C,D,E,F,G,H,I,J,K,L", 11, slots), 12);  // beyond ten slots
    EXPECT_EQ(slots[10], "K");
}

TEST(ReadFieldValue, DecimalPointNumbersAndEverythingElseIsZero) {
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"+001.00", 1}, {"-002.00", -2},    {"5.0", 5},  {" 2.5 ", 2.5}, {"1.", 1},  {".5", 0.5},
        {"1e2", 100},   {"-1.5E-1", -0.15}, {"", 0},     {"1.5x", 0},    {"1,5", 0}, {"inf", 0},
        {"nan", 0},     {"0x10", 0},        {"+", 0},    {".", 0},       {"1e", 0},  {"--1", 0},
        {"1e400", 0},   {"1 2", 0},         {"A*1F", 0}, {"\t7\r", 7}};
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(ReadFieldValue(c.text), c.value) << c.text;
    }
}

TEST(ReadFieldValue, IgnoresADecimalCommaLocale) {
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "de_DE.UTF-8 locale missing";
    EXPECT_DOUBLE_EQ(ReadFieldValue("-002.50"), -2.5);
    EXPECT_DOUBLE_EQ(ReadFieldValue("2,50"), 0);
    WindConnection connection = ConnectionFor("VARN_UV_TWO_AXIS", "IUVN");
    EXPECT_TRUE(connection.HandlePacket(StxMessage("Q,+001.50,-002.25,M,00")).valid);
    EXPECT_DOUBLE_EQ(connection.Sample().u, 1.5);
    EXPECT_DOUBLE_EQ(connection.Sample().v, -2.25);
    std::setlocale(LC_ALL, "C");
}

TEST(ParseState, PositionsOfLettersAndAbsentLettersKeepTheirs) {
    ParseState state;
    state.Apply("NMEA_POLAR", "IDRMNS");
    EXPECT_TRUE(state.polar);
    EXPECT_EQ(state.letterCount, 6);
    EXPECT_EQ(state.positionD, 1);
    EXPECT_EQ(state.positionM, 3);
    EXPECT_EQ(state.positionN, 4);
    EXPECT_FALSE(state.HasW());
    state.Apply("VARN_UVW_THREE_AXIS", "IUVWN");
    EXPECT_FALSE(state.polar);
    EXPECT_EQ(state.positionW, 3);
    EXPECT_EQ(state.positionM, 3);  // kept from the polar format
    EXPECT_EQ(state.positionN, 4);
}

TEST(WindConnection, UvMessageGivesComponentsAndMagnitude) {
    WindConnection connection = ConnectionFor("VARN_UV_TWO_AXIS", "IUVN");
    const PacketResult result = connection.HandlePacket(StxMessage("Q,+001.00,-002.00,M,00"));
    EXPECT_TRUE(result.accepted);
    EXPECT_TRUE(result.valid);
    const WindSample& s = connection.Sample();
    EXPECT_DOUBLE_EQ(s.u, 1);
    EXPECT_DOUBLE_EQ(s.v, -2);
    EXPECT_DOUBLE_EQ(s.magnitude, std::sqrt(5.0));
    EXPECT_NEAR(s.direction, 270 + std::atan(-0.5) * 180 / 3.141592653589793, 1e-12);
    EXPECT_EQ(connection.Packets(), 1);
    EXPECT_EQ(connection.GoodMessages(), 1);
}

TEST(WindConnection, RejectedPacketIsCountedOnlyAsAPacket) {
    WindConnection connection = ConnectionFor("VARN_UV_TWO_AXIS", "IUVN");
    std::string message = StxMessage("Q,+001.00,-002.00,M,00");
    message[message.size() - 2] ^= 1;
    EXPECT_FALSE(connection.Accept(message).has_value());
    EXPECT_EQ(connection.Packets(), 1);
    EXPECT_EQ(connection.GoodMessages(), 0);
    EXPECT_DOUBLE_EQ(connection.Sample().u, 0);
}

TEST(WindConnection, AcceptTrimsStxAndCrButKeepsDollar) {
    WindConnection stx = ConnectionFor("VARN_UV_TWO_AXIS", "IUVN");
    const std::string stxMessage = StxMessage("Q,1,2,M,00");
    EXPECT_EQ(stx.Accept(stxMessage).value(), stxMessage.substr(1, stxMessage.size() - 2));
    WindConnection nmea = ConnectionFor("NMEA_POLAR", "IDRMNS");
    const std::string nmeaMessage = NmeaMessage("IIMWV,229,R,5.0,M,A") + "\n";
    EXPECT_EQ(nmea.Accept(nmeaMessage).value_or("-"),
              nmeaMessage.substr(0, nmeaMessage.size() - 2));
}

TEST(WindConnection, NmeaPolarSentenceSkipsTheReferenceField) {
    WindConnection connection = ConnectionFor("NMEA_POLAR", "IDRMNS");
    const PacketResult result = connection.HandlePacket(NmeaMessage("IIMWV,229,R,5.0,M,A"));
    ASSERT_TRUE(result.accepted);
    EXPECT_TRUE(result.valid);
    EXPECT_DOUBLE_EQ(connection.Sample().direction, 229);
    EXPECT_DOUBLE_EQ(connection.Sample().magnitude, 5);
    const double radians = 229 * 3.141592653589793 / 180;
    EXPECT_DOUBLE_EQ(connection.Sample().u, -5 * std::cos(radians));
    EXPECT_DOUBLE_EQ(connection.Sample().v, 5 * std::sin(radians));
}

TEST(WindConnection, UnitsLettersConvertToMetresPerSecond) {
    WindConnection connection = ConnectionFor("VARN_POLAR_TWO_AXIS", "IDMN");
    connection.SetUnits(1);
    connection.HandlePacket(StxMessage("Q,90,1.944,N,00"));
    EXPECT_NEAR(connection.Sample().magnitude, 1, 1e-12);
    EXPECT_NEAR(connection.Sample().shownMagnitude, 1.944, 1e-12);
    connection.HandlePacket(StxMessage("Q,90,3.6,MK,00"));  // K is tested after M
    EXPECT_NEAR(connection.Sample().magnitude, 1, 1e-12);
    // No units letter: the factor is kept, but the reading is not trusted.
    EXPECT_FALSE(connection.HandlePacket(StxMessage("Q,90,2,X,00")).valid);
    EXPECT_NEAR(connection.Sample().magnitude, 2 / 3.6, 1e-12);
}

// A garbled units field would read the speeds in the previous message's unit, or as 0 before
// any known letter: such a sample must reach no statistic (a "below" alarm would fire on it).
TEST(WindConnection, AUnitsFieldWithoutAKnownLetterIsNotValid) {
    WindConnection connection = ConnectionFor("VARN_UV_TWO_AXIS", "IUVN");
    connection.SetOutputRate(1);
    connection.SetAveraging(2);
    EXPECT_FALSE(connection.HandlePacket(StxMessage("Q,3,4,S,00")).valid);
    EXPECT_DOUBLE_EQ(connection.Sample().magnitude, 0);  // factor still 0
    EXPECT_DOUBLE_EQ(connection.Extremes().minMagnitude, 1000);
    EXPECT_EQ(connection.Statistics().AveragingRing().Count(), 0);

    ASSERT_TRUE(connection.HandlePacket(StxMessage("Q,3,4,M,00")).valid);
    for (const char* units : {"", "X", "m", "?", "00"}) {
        const std::string body = std::string("Q,30,40,") + units + ",00";
        EXPECT_FALSE(connection.HandlePacket(StxMessage(body)).valid) << units;
        EXPECT_DOUBLE_EQ(connection.Sample().magnitude, 50) << units;  // in m/s as before
    }
    EXPECT_DOUBLE_EQ(connection.Extremes().maxMagnitude, 5);
    EXPECT_DOUBLE_EQ(connection.Gust(), 5);
    EXPECT_EQ(connection.Statistics().AveragingRing().Count(), 1);
    EXPECT_TRUE(connection.HandlePacket(StxMessage("Q,30,40,xKx,00")).valid);
}

TEST(WindConnection, DirectionsOutsideZeroTo360AreNotValid) {
    struct Case {
        const char* direction;
        bool valid;
        double minimum;  // after 90, then this direction
    };
    for (const Case& c :
         {Case{"-5", false, 90}, Case{"-0.01", false, 90}, Case{"360", false, 90},
          Case{"400", false, 90}, Case{"0", true, 0}, Case{"359.99", true, 359.99}}) {
        WindConnection connection = ConnectionFor("VARN_POLAR_TWO_AXIS", "IDMN");
        ASSERT_TRUE(connection.HandlePacket(StxMessage("Q,90,5,M,00")).valid);
        const std::string body = std::string("Q,") + c.direction + ",5,M,00";
        EXPECT_EQ(connection.HandlePacket(StxMessage(body)).valid, c.valid) << c.direction;
        EXPECT_DOUBLE_EQ(connection.Extremes().minDirection, c.minimum) << c.direction;
    }
}

// The output rate is measured by the messages the instrument got across, not by noise.
TEST(WindConnection, RateMessagesCountAcceptedMessagesOnly) {
    WindConnection connection = ConnectionFor("VARN_UV_TWO_AXIS", "IUVN");
    std::string broken = StxMessage("Q,1,2,M,00");
    broken[broken.size() - 2] ^= 1;
    for (int i = 0; i < 3; ++i) {
        connection.HandlePacket(StxMessage("Q,1,2,M,00"));
        connection.HandlePacket(broken);
        connection.HandlePacket("junk");
    }
    connection.HandlePacket(StxMessage("Q,1,2,X,00"));  // accepted, though not valid
    EXPECT_EQ(connection.Packets(), 10);
    EXPECT_EQ(connection.RateMessages(), 4);
    connection.ResetRateMessages();
    EXPECT_EQ(connection.RateMessages(), 0);
    EXPECT_EQ(connection.GoodMessages(), 4);
}

TEST(WindConnection, EmptyOrJunkFieldReadsZero) {
    WindConnection connection = ConnectionFor("VARN_UV_TWO_AXIS", "IUVN");
    EXPECT_TRUE(connection.HandlePacket(StxMessage("Q,,-2.00,M,00")).valid);
    EXPECT_DOUBLE_EQ(connection.Sample().u, 0);
    EXPECT_DOUBLE_EQ(connection.Sample().v, -2);
    EXPECT_TRUE(connection.HandlePacket(StxMessage("Q,1.0z,1,M,00")).valid);
    EXPECT_DOUBLE_EQ(connection.Sample().u, 0);
}

TEST(WindConnection, OutOfRangeSamplesAreKeptButReachNoStatistic) {
    WindConnection connection = ConnectionFor("VARN_POLAR_TWO_AXIS", "IDMN");
    connection.SetOutputRate(1);
    connection.SetAveraging(2);
    ASSERT_TRUE(connection.HandlePacket(StxMessage("Q,90,5,M,00")).valid);
    const MinMax before = connection.Extremes();
    const double gust = connection.Gust();

    EXPECT_FALSE(connection.HandlePacket(StxMessage("Q,400,5,M,00")).valid);
    EXPECT_DOUBLE_EQ(connection.Sample().direction, 400);  // shown on the panels
    EXPECT_FALSE(connection.HandlePacket(StxMessage("Q,90,101,M,00")).valid);
    EXPECT_DOUBLE_EQ(connection.Sample().magnitude, 101);

    WindConnection uv = ConnectionFor("VARN_UV_TWO_AXIS", "IUVN");
    EXPECT_FALSE(uv.HandlePacket(StxMessage("Q,150,0,M,00")).valid);

    EXPECT_DOUBLE_EQ(connection.Extremes().maxMagnitude, before.maxMagnitude);
    EXPECT_DOUBLE_EQ(connection.Extremes().maxDirection, before.maxDirection);
    EXPECT_DOUBLE_EQ(connection.Gust(), gust);
    EXPECT_EQ(connection.Statistics().AveragingRing().Count(), 1);
}

TEST(WindConnection, TooFewFieldsLeaveThePreviousSample) {
    WindConnection connection = ConnectionFor("VARN_UVW_THREE_AXIS", "IUVWN");
    ASSERT_TRUE(connection.HandlePacket(StxMessage("Q,1,2,3,M,00")).valid);
    const PacketResult result = connection.HandlePacket(StxMessage("Q,7,8,9M00"));
    EXPECT_TRUE(result.accepted);
    EXPECT_FALSE(result.valid);
    EXPECT_DOUBLE_EQ(connection.Sample().u, 1);
    EXPECT_DOUBLE_EQ(connection.Sample().w, 3);
    EXPECT_TRUE(connection.Sample().valid);  // untouched, not re-judged
}

TEST(WindConnection, FormatWithoutWKeepsTheLastW) {
    WindConnection connection = ConnectionFor("VARN_UVW_THREE_AXIS", "IUVWN");
    connection.HandlePacket(StxMessage("Q,1,2,3,M,00"));
    connection.ApplyFormat("VARN_UV_TWO_AXIS", "IUVN");
    connection.HandlePacket(StxMessage("Q,4,5,M,00"));
    EXPECT_DOUBLE_EQ(connection.Sample().u, 4);
    EXPECT_DOUBLE_EQ(connection.Sample().w, 3);
}

TEST(WindConnection, StaleLetterPositionBeyondTheFieldsReadsEmpty) {
    WindConnection connection = ConnectionFor("NMEA_POLAR", "IDRMNS");  // N at 4
    connection.ApplyFormat("ODD_POLAR", "IDM");                         // no N: stays 4
    EXPECT_TRUE(connection.HandlePacket(StxMessage("Q,90,5")).accepted);
    EXPECT_DOUBLE_EQ(connection.Sample().magnitude, 0);  // factor still 0
}

TEST(WindConnection, PacketsCountEveryStringAndReset) {
    WindConnection connection = ConnectionFor("VARN_UV_TWO_AXIS", "IUVN");
    for (int i = 0; i < 3; ++i) {
        connection.Accept("junk");
    }
    EXPECT_EQ(connection.Packets(), 3);
    connection.ResetPackets();
    EXPECT_EQ(connection.Packets(), 0);
}

}  // namespace
}  // namespace vx
