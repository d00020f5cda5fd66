// The sentences as a plotter reads them: shape, checksum, fields, units and the 82-character
// limit.

#include "network/NmeaSentences.h"
#include "tests/network/NetworkTestSupport.h"

#include <gtest/gtest.h>

#include <clocale>

namespace vx {
namespace {

using test::ParseSentence;

TEST(NmeaSentence, ChecksumIsTheXorBetweenDollarAndStar) {
    // The textbook example: $GPGLL,5057.970,N,00146.110,E,142451,A*27
    EXPECT_EQ(NmeaChecksum("GPGLL,5057.970,N,00146.110,E,142451,A"), 0x27u);
    EXPECT_EQ(NmeaSentence("IIMWV,229,R,5.0,N,A"), "$IIMWV,229,R,5.0,N,A*2F\r\n");
    // Checksums below 0x10 keep their leading zero.
    EXPECT_EQ(NmeaSentence("A").substr(2), "*41\r\n");
    EXPECT_EQ(NmeaSentence("AA"), "$AA*00\r\n");
}

TEST(NmeaSentence, MwvCarriesRelativeWindInTheChosenUnit) {
    struct Case {
        NmeaSpeedUnit unit;
        double speed;  // m/s
        std::string field;
    };
    for (const Case& c :
         {Case{NmeaSpeedUnit::MetresPerSecond, 5.126, "5.13"},
          Case{NmeaSpeedUnit::Knots, 10, "19.44"}, Case{NmeaSpeedUnit::Kph, 10, "36.00"},
          Case{NmeaSpeedUnit::Mph, 10, "22.37"}}) {
        const auto parsed = ParseSentence(BuildMwv(229.44, c.speed, c.unit));
        ASSERT_TRUE(parsed.checksumOk);
        ASSERT_EQ(parsed.fields.size(), 6u);
        EXPECT_EQ(parsed.fields[0], "WIMWV");
        EXPECT_EQ(parsed.fields[1], "229.4");
        EXPECT_EQ(parsed.fields[2], "R");
        EXPECT_EQ(parsed.fields[3], c.field);
        EXPECT_EQ(parsed.fields[4], std::string(1, static_cast<char>(c.unit)));
        EXPECT_EQ(parsed.fields[5], "A");
    }
}

TEST(NmeaSentence, AnglesStayBelow360AfterRounding) {
    EXPECT_EQ(ParseSentence(BuildMwv(359.96, 1, NmeaSpeedUnit::Knots)).fields[1], "0.0");
    EXPECT_EQ(ParseSentence(BuildMwv(359.94, 1, NmeaSpeedUnit::Knots)).fields[1], "359.9");
    EXPECT_EQ(ParseSentence(BuildMwv(0, 0, NmeaSpeedUnit::Knots)).fields[1], "0.0");
}

TEST(NmeaSentence, VoidMwvHasEmptyFieldsAndStatusV) {
    const auto parsed = ParseSentence(BuildVoidMwv(NmeaSpeedUnit::MetresPerSecond));
    ASSERT_TRUE(parsed.checksumOk);
    EXPECT_EQ(parsed.fields, (std::vector<std::string>{"WIMWV", "", "R", "", "M", "V"}));
}

TEST(NmeaSentence, XdrNamesTheGustAndTheAveragesOfThePeriod) {
    XdrValues values;
    values.gust = 7.5;
    const auto gustOnly = ParseSentence(BuildXdr(values, NmeaSpeedUnit::MetresPerSecond));
    ASSERT_TRUE(gustOnly.checksumOk);
    EXPECT_EQ(gustOnly.fields, (std::vector<std::string>{"WIXDR", "G", "7.50", "M", "GUST3S"}));

    values.averagingMinutes = 10;
    values.averageSpeed = 5;
    values.averageDirection = 271.25;
    const auto withAverages = ParseSentence(BuildXdr(values, NmeaSpeedUnit::Knots));
    ASSERT_TRUE(withAverages.checksumOk);
    EXPECT_EQ(withAverages.fields,
              (std::vector<std::string>{"WIXDR", "G", "14.58", "N", "GUST3S", "G", "9.72", "N",
                                        "AVGSPD10M", "A", "271.3", "D", "AVGDIR10M"}));
}

TEST(NmeaSentence, NoSentenceExceeds82CharactersWhateverTheValues) {
    for (const NmeaSpeedUnit unit : {NmeaSpeedUnit::Knots, NmeaSpeedUnit::MetresPerSecond,
                                     NmeaSpeedUnit::Kph, NmeaSpeedUnit::Mph}) {
        for (const double value : {0.0, -100.0, 100.0, -1e9, 1e300}) {
            XdrValues values{value, 10, value, 359.99};
            EXPECT_LE(BuildXdr(values, unit).size(), kMaxSentenceLength);
            EXPECT_LE(BuildMwv(359.99, value, unit).size(), kMaxSentenceLength);
        }
    }
}

TEST(NmeaSentence, NumbersUseAPointUnderACommaLocale) {
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "de_DE.UTF-8 locale missing";
    const std::string sentence = BuildMwv(12.5, 3.25, NmeaSpeedUnit::MetresPerSecond);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(ParseSentence(sentence).fields[1], "12.5");
    EXPECT_EQ(ParseSentence(sentence).fields[3], "3.25");
}

TEST(NmeaSpeedUnit, LettersAreTheOnesMwvAllows) {
    NmeaSpeedUnit unit{};
    EXPECT_TRUE(ParseNmeaSpeedUnit("s", unit));
    EXPECT_EQ(unit, NmeaSpeedUnit::Mph);
    EXPECT_FALSE(ParseNmeaSpeedUnit("F", unit));  // feet a minute: NMEA has no letter
    EXPECT_FALSE(ParseNmeaSpeedUnit("NN", unit));
    EXPECT_FALSE(ParseNmeaSpeedUnit("", unit));
}

}  // namespace
}  // namespace vx
