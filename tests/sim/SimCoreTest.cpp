// The simulator's parts on their own: the line model at a wrong speed, the receiver model that
// predicts acceptance, message building, faults, commands, options and the wind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tools/sim/AcceptanceModel.h"
#include "tools/sim/CommandListener.h"
#include "tools/sim/FaultInjector.h"
#include "tools/sim/LineGarbler.h"
#include "tools/sim/MessageBuilder.h"
#include "tools/sim/SendLog.h"
#include "tools/sim/SimOptions.h"
#include "tools/sim/WindModel.h"

namespace vx::sim {
namespace {

MessageBuilder Builder(const char* format, char units = 'M') {
    MessageSettings settings;
    settings.units = units;
    return MessageBuilder(*FindSimFormat(format), settings);
}

std::string Stream(int messages) {
    const MessageBuilder builder = Builder("VARN_UV_TWO_AXIS");
    WindModel wind(WindSettings{}, 5);
    std::string stream;
    for (int i = 0; i < messages; ++i) {
        stream += builder.Build(wind.Step(0.25)).Bytes();
    }
    return stream;
}

TEST(LineGarbler, SameSpeedPassesEveryByte) {
    const std::string stream = Stream(20);
    EXPECT_EQ(GarbleForBaud(stream, 9600, 9600), stream);
}

TEST(LineGarbler, OtherSpeedsScrambleTheFraming) {
    const std::string stream = Stream(200);
    for (std::uint32_t rx : {1200u, 2400u, 4800u, 19200u, 38400u, 57600u, 115200u}) {
        const std::string garbage = GarbleForBaud(stream, 9600, rx);
        const double ratio = static_cast<double>(garbage.size()) / stream.size();
        // A faster receiver frames more bytes than were sent, a slower one fewer.
        if (rx > 9600) {
            EXPECT_GT(ratio, 1.0) << rx;
        } else {
            EXPECT_LT(ratio, 1.0) << rx;
        }
        EXPECT_LT(std::count(garbage.begin(), garbage.end(), '\x02'), 20) << rx;
        AcceptanceModel model(false);
        EXPECT_EQ(model.Feed(garbage), 0) << rx;
    }
}

TEST(LineGarbler, ASlightlyFastReceiverStillBreaksBytes) {
    // 10 % off is past what a UART tolerates over a ten-bit frame.
    const std::string stream = Stream(50);
    const std::string garbage = GarbleForBaud(stream, 9600, 10560 / 1);
    EXPECT_NE(garbage, stream);
}

TEST(AcceptanceModel, FollowsTheProgramsFramerAndMessageTest) {
    const std::string good = Builder("VARN_UV_TWO_AXIS").Build(WindState{5, 30, 0}).Bytes();
    AcceptanceModel model(false);
    EXPECT_EQ(model.Feed(good + good), 2);

    // Split over writes, the message still completes at its CR.
    EXPECT_EQ(model.Feed(good.substr(0, 7)), 0);
    EXPECT_EQ(model.Feed(good.substr(7)), 1);

    // A stray start before the message keeps the packet open: the message is swallowed.
    EXPECT_EQ(model.Feed(std::string("\x02xx") + good), 0);

    // Without its CR a message runs into the next; the packet then passes on the first
    // message's checksum, and the second one is lost.
    std::string noCr = good;
    noCr.erase(noCr.find('\r'), 1);
    EXPECT_EQ(model.Feed(noCr + good + good), 2);

    // Under ten bytes is never a message.
    EXPECT_FALSE(
        AcceptanceModel::Accepts("\x02"
                                 "A\x03"
                                 "41\r",
                                 false));
    // "%x" reading: leading blanks skipped, lower case taken, trailing junk ignored. The XOR of
    // "ABCDEFGHZ" is 0x52, of "ABCDEFGHK" 0x43 and of "ABCDEFGHZ," 0x7E.
    EXPECT_TRUE(AcceptanceModel::Accepts("$ABCDEFGHZ* 52z\r", true));
    EXPECT_TRUE(AcceptanceModel::Accepts("$ABCDEFGHK*\t43\r", true));
    EXPECT_TRUE(AcceptanceModel::Accepts("$ABCDEFGHZ,*7e\r", true));
    EXPECT_FALSE(AcceptanceModel::Accepts("$ABCDEFGHZ*53\r", true));
    EXPECT_FALSE(AcceptanceModel::Accepts("$ABCDEFGHZ*z52\r", true));
}

TEST(MessageBuilder, FieldsFollowTheProgramsWindConventions) {
    // Direction 0 is the wind along -U, 90 along +V.
    EXPECT_EQ(Builder("VARN_UV_TWO_AXIS").Build(WindState{5, 0, 0}).body, "Q,-005.00,+000.00,M,00");
    EXPECT_EQ(Builder("VARN_UV_TWO_AXIS").Build(WindState{5, 90, 0}).body,
              "Q,+000.00,+005.00,M,00");
    EXPECT_EQ(Builder("VARN_POLAR_TWO_AXIS", 'N').Build(WindState{1, 229, 0}).body,
              "Q,229,001.94,N,00");
    EXPECT_EQ(Builder("VARN_POLAR_THREE_AXIS").Build(WindState{2.5, 45, -0.25}).body,
              "Q,045,002.50,-000.25,M,00");
    EXPECT_EQ(Builder("NMEA_POLAR").Build(WindState{5, 229, 0}).body, "IIMWV,229.0,R,005.00,M,A");
    // Large speeds widen the field rather than lose digits.
    EXPECT_EQ(Builder("VARN_POLAR_TWO_AXIS", 'F').Build(WindState{100, 10, 0}).body,
              "Q,010,19691.00,F,00");
}

TEST(MessageBuilder, DirectionNeverRoundsUpTo360) {
    EXPECT_EQ(Builder("VARN_POLAR_TWO_AXIS").Build(WindState{1, 359.6, 0}).body,
              "Q,000,001.00,M,00");
    EXPECT_EQ(Builder("NMEA_POLAR").Build(WindState{1, 359.96, 0}).body,
              "IIMWV,000.0,R,001.00,M,A");
    EXPECT_EQ(Builder("NMEA_POLAR").Build(WindState{1, 359.94, 0}).body,
              "IIMWV,359.9,R,001.00,M,A");
}

TEST(MessageBuilder, FramingAndChecksum) {
    Message message = Builder("VARN_UV_TWO_AXIS").Build(WindState{5, 0, 0});
    // XOR of "Q,-005.00,+000.00,M,00", worked out by hand from the bytes.
    std::uint8_t sum = 0;
    for (char c : std::string("Q,-005.00,+000.00,M,00")) {
        sum ^= static_cast<std::uint8_t>(c);
    }
    EXPECT_EQ(message.Bytes(), "\x02Q,-005.00,+000.00,M,00\x03" + HexByte(sum) + "\r\n");
    EXPECT_EQ(HexByte(0xAB), "AB");
    message.withCr = false;
    message.withStart = false;
    EXPECT_EQ(message.Bytes(), "Q,-005.00,+000.00,M,00\x03" + HexByte(sum) + "\n");
}

TEST(FaultInjector, EveryNthStrikesExactlyThoseSequenceNumbers) {
    FaultSettings settings;
    settings.badChecksum.every = 4;
    settings.lostStart.every = 6;
    FaultInjector injector(settings, 1);
    for (std::uint64_t sequence = 1; sequence <= 24; ++sequence) {
        const Faults faults = injector.Decide(sequence);
        EXPECT_EQ(faults.badChecksum, sequence % 4 == 0) << sequence;
        EXPECT_EQ(faults.lostStart, sequence % 6 == 0) << sequence;
        EXPECT_FALSE(faults.lostCr);
        EXPECT_FALSE(faults.noiseBefore);
    }
}

TEST(FaultInjector, ProbabilityStrikesAboutThatShareAndReplaysWithTheSeed) {
    FaultSettings settings;
    settings.noise.probability = 0.25;
    FaultInjector first(settings, 9);
    FaultInjector second(settings, 9);
    int strikes = 0;
    for (std::uint64_t sequence = 1; sequence <= 2000; ++sequence) {
        const bool noise = first.Decide(sequence).noiseBefore;
        EXPECT_EQ(second.Decide(sequence).noiseBefore, noise);
        strikes += noise ? 1 : 0;
    }
    EXPECT_GT(strikes, 400);
    EXPECT_LT(strikes, 600);
}

TEST(FaultInjector, BrokenChecksumNeverMatches) {
    FaultSettings settings;
    settings.badChecksum.every = 1;
    FaultInjector injector(settings, 3);
    const MessageBuilder builder = Builder("NMEA_POLAR");
    for (int i = 0; i < 300; ++i) {
        Message message = builder.Build(WindState{5, static_cast<double>(i), 0});
        injector.Apply(injector.Decide(1), message);
        EXPECT_FALSE(AcceptanceModel::Accepts(message.Bytes(), true)) << message.Bytes();
    }
}

TEST(CommandListener, HearsPollsAndResetRequests) {
    CommandListener listener;
    using V = std::vector<Command>;
    EXPECT_EQ(listener.Feed("Q\r"), V{Command::Poll});
    EXPECT_EQ(listener.Feed("Q"), V{});
    EXPECT_EQ(listener.Feed("\r"), V{Command::Poll}) << "split over two reads";
    EXPECT_EQ(listener.Feed("$$$$"), (V{Command::Reset, Command::Reset}));
    EXPECT_EQ(listener.Feed("$x$"), V{});
    EXPECT_EQ(listener.Feed("q\rQ\n\r"), V{});
}

TEST(SimOptions, ParsesTheCommandLine) {
    SimOptions options;
    std::string error;
    ASSERT_EQ(ParseOptions({"--format=NMEA_POLAR", "--rate", "0.25", "--units", "K", "--polled",
                            "--noise-every", "3", "--veer", "-12.5"},
                           options, error),
              ParseOutcome::Run)
        << error;
    EXPECT_EQ(options.format.name, "NMEA_POLAR");
    EXPECT_EQ(options.rate, 0.25);
    EXPECT_EQ(options.message.units, 'K');
    EXPECT_EQ(options.faults.noise.every, 3u);
    EXPECT_EQ(options.wind.veer, -12.5);
    EXPECT_EQ(options.ModeChar(), 'P');

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--rate", "3"},
                                                {"--baud", "1234"},
                                                {"--mode-char", "ab"},
                                                {"--id", "A,B"},
                                                {"--noise-every", "0"},
                                                {"--speed"},
                                                {"--count", "x"}}) {
        SimOptions rejected;
        EXPECT_EQ(ParseOptions(bad, rejected, error), ParseOutcome::Error) << bad.front();
    }
}

TEST(SendLog, EscapesEverythingButPrintableAscii) {
    EXPECT_EQ(EscapeBytes(std::string("\x02Q,1\x03"
                                      "4A\r\n\\\xff\t",
                                      12)),
              "\\x02Q,1\\x034A\\x0d\\x0a\\x5c\\xff\\x09");
}

TEST(WindModel, SameSeedSameWindOtherSeedOtherWind) {
    WindModel a(WindSettings{}, 1);
    WindModel b(WindSettings{}, 1);
    WindModel c(WindSettings{}, 2);
    bool differs = false;
    for (int i = 0; i < 100; ++i) {
        const WindState x = a.Step(0.1);
        const WindState y = b.Step(0.1);
        const WindState z = c.Step(0.1);
        EXPECT_EQ(x.speed, y.speed);
        EXPECT_EQ(x.direction, y.direction);
        differs = differs || x.speed != z.speed;
        EXPECT_GE(x.speed, 0);
        EXPECT_GE(x.direction, 0);
        EXPECT_LT(x.direction, 360);
    }
    EXPECT_TRUE(differs);
}

TEST(WindModel, VeerSweepsThroughNorth) {
    WindSettings settings;
    settings.turbulence = 0;
    settings.gustInterval = 0;
    settings.meanDirection = 350;
    settings.veer = 60;  // a degree a second
    WindModel wind(settings, 1);
    EXPECT_DOUBLE_EQ(wind.Step(0).direction, 350);
    EXPECT_NEAR(wind.Step(5).direction, 355, 1e-9);
    EXPECT_NEAR(wind.Step(15).direction, 10, 1e-9);
}

TEST(WindModel, GustsRaiseTheSpeedTowardsTheirFactor) {
    WindSettings settings;
    settings.turbulence = 0;
    settings.gustInterval = 5;
    settings.gustFactor = 2;
    WindModel wind(settings, 4);
    double highest = 0;
    for (int i = 0; i < 600; ++i) {
        highest = std::max(highest, wind.Step(0.1).speed);
    }
    EXPECT_NEAR(highest, 10.0, 0.01);
}

TEST(WindModel, TurbulenceSpreadsTheSpeedByItsIntensity) {
    WindSettings settings;
    settings.meanSpeed = 10;
    settings.turbulence = 0.2;
    settings.gustInterval = 0;
    WindModel wind(settings, 8);
    double sum = 0;
    double squares = 0;
    const int steps = 20000;
    for (int i = 0; i < steps; ++i) {
        const double speed = wind.Step(0.5).speed;
        sum += speed;
        squares += speed * speed;
    }
    const double mean = sum / steps;
    const double spread = std::sqrt(squares / steps - mean * mean);
    EXPECT_NEAR(mean, 10, 0.5);
    EXPECT_NEAR(spread, 2, 0.4);
}

}  // namespace
}  // namespace vx::sim
