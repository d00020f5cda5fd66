// The simulator as the program meets it: a real ventrix-sim process, its COMn link in a private
// ports folder, and the port opened through that link in raw mode.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <thread>

#include "tests/sim/SimHarness.h"

namespace vx::simtest {
namespace {

double Number(const std::string& field) {
    const std::size_t skip = !field.empty() && field[0] == '+' ? 1 : 0;
    double value = NAN;
    std::from_chars(field.data() + skip, field.data() + field.size(), value);
    return value;
}

std::vector<std::string> With(std::vector<std::string> base, const std::vector<std::string>& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

// A steady wind of 5 m/s from 30 degrees: every message must carry exactly these values.
const std::vector<std::string> kSteadyWind = {"--turbulence", "0", "--gusts",     "0",
                                              "--speed",      "5", "--direction", "30"};

struct FormatCase {
    const char* name;
    const char* letters;
    bool nmea;
    char units;
    double factor;
};

void PrintTo(const FormatCase& format, std::ostream* out) {
    *out << format.name;
}

class SimFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(SimFormatTest, EveryMessageIsFramedWithItsChecksumAndCarriesTheWind) {
    const FormatCase& format = GetParam();
    TempFolder ports;
    SimProcess sim(ports.Path(),
                   With(kSteadyWind, {"--format", format.name, "--rate", "50", "--baud", "19200",
                                      "--count", "8", "--units", std::string(1, format.units)}));
    ASSERT_TRUE(sim.Ready()) << sim.Banner();
    SlavePort port;
    ASSERT_TRUE(port.Open(sim.LinkPath(), 19200));
    const std::string stream = port.ReadUntilHangup();
    EXPECT_EQ(sim.WaitExit(), 0);
    EXPECT_FALSE(PathExists(sim.LinkPath())) << "the link must go when the run ends";

    const auto messages = SplitMessages(stream, format.nmea);
    ASSERT_EQ(messages.size(), 8u) << "--count 8 puts exactly eight messages on the line";
    const std::string letters = format.letters;
    const double speed = 5.0 * format.factor;
    const double u = -5.0 * std::cos(30.0 * M_PI / 180.0) * format.factor;
    const double v = 5.0 * std::sin(30.0 * M_PI / 180.0) * format.factor;
    for (const ParsedMessage& message : messages) {
        ASSERT_TRUE(message.framed) << message.raw;
        EXPECT_TRUE(message.checksumOk) << message.raw;
        // The Varn formats carry a status field after their lettered fields.
        ASSERT_EQ(message.fields.size(), letters.size() + (format.nmea ? 0 : 1)) << message.raw;
        for (std::size_t i = 0; i < letters.size(); ++i) {
            const std::string& field = message.fields[i];
            switch (letters[i]) {
                case 'I':
                    EXPECT_EQ(field, format.nmea ? "IIMWV" : "Q");
                    break;
                case 'U':
                    EXPECT_NEAR(Number(field), u, 0.006) << field;
                    break;
                case 'V':
                    EXPECT_NEAR(Number(field), v, 0.006) << field;
                    break;
                case 'W':
                    EXPECT_EQ(field, "+000.00");
                    break;
                case 'M':
                    EXPECT_NEAR(Number(field), speed, 0.006) << field;
                    break;
                case 'D':
                    EXPECT_EQ(Number(field), 30.0) << field;
                    break;
                case 'N':
                    EXPECT_EQ(field, std::string(1, format.units));
                    break;
                case 'R':
                    EXPECT_EQ(field, "R");
                    break;
                case 'S':
                    EXPECT_EQ(field, "A");
                    break;
            }
        }
        if (!format.nmea) {
            EXPECT_EQ(message.fields.back(), "00");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, SimFormatTest,
    ::testing::Values(FormatCase{"VARN_UV_TWO_AXIS", "IUVN", false, 'M', 1.0},
                      FormatCase{"VARN_POLAR_TWO_AXIS", "IDMN", false, 'N', 1.944},
                      FormatCase{"NMEA_POLAR", "IDRMNS", true, 'M', 1.0},
                      FormatCase{"VARN_UVW_THREE_AXIS", "IUVWN", false, 'K', 3.6},
                      FormatCase{"VARN_POLAR_THREE_AXIS", "IDMWN", false, 'F', 196.91}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimStreaming, TenHertzGivesAboutTenMessagesASecond) {
    TempFolder ports;
    SimProcess sim(ports.Path(), {"--rate", "10"});
    ASSERT_TRUE(sim.Ready());
    SlavePort port;
    ASSERT_TRUE(port.Open(sim.LinkPath(), 9600));
    const auto messages = SplitMessages(port.ReadFor(3s), false);
    EXPECT_GE(messages.size(), 15u);
    EXPECT_LE(messages.size(), 45u);
}

TEST(SimStreaming, NothingIsQueuedForAPortThatNobodyHasOpen) {
    TempFolder ports;
    const std::string log = ports.Path() + "/send.log";
    SimProcess sim(ports.Path(), {"--rate", "50", "--baud", "19200", "--log", log});
    ASSERT_TRUE(sim.Ready());
    std::this_thread::sleep_for(500ms);
    SlavePort port;
    ASSERT_TRUE(port.Open(sim.LinkPath(), 19200));
    const auto messages = SplitMessages(port.ReadFor(400ms), false);
    sim.Signal(SIGTERM);
    ASSERT_EQ(sim.WaitExit(), 0);
    // What went out while nobody listened must not reach the late listener in a burst.
    EXPECT_LE(messages.size(), 30u);
    const auto lines = ReadSendLog(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().status, "unheard");
    EXPECT_NE(ReadFile(log).find("listener connected"), std::string::npos);
}

TEST(SimStreaming, WhatTheProgramLeftUnreadIsGoneWhenItOpensAgain) {
    TempFolder ports;
    SimProcess sim(ports.Path(), {"--rate", "32", "--baud", "19200"});
    ASSERT_TRUE(sim.Ready());
    SlavePort port;
    ASSERT_TRUE(port.Open(sim.LinkPath(), 19200));
    std::this_thread::sleep_for(600ms);  // about 19 messages wait unread
    port.Close();
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(port.Open(sim.LinkPath(), 19200));
    const auto messages = SplitMessages(port.ReadFor(150ms), false);
    EXPECT_LT(messages.size(), 12u) << "a serial port does not keep bytes across a close";
}

TEST(SimPolled, AnswersEachQueryWithExactlyOneMessage) {
    TempFolder ports;
    SimProcess sim(ports.Path(), {"--polled", "--format", "NMEA_POLAR"});
    ASSERT_TRUE(sim.Ready());
    SlavePort port;
    ASSERT_TRUE(port.Open(sim.LinkPath(), 9600));
    EXPECT_EQ(port.ReadFor(600ms), "") << "a polled unit sends nothing unasked";
    for (int poll = 0; poll < 2; ++poll) {
        port.Send("Q\r");
        std::string answer = port.ReadMessages(1, true, 3s);
        answer += port.ReadFor(400ms);  // and nothing after it
        const auto messages = SplitMessages(answer, true);
        ASSERT_EQ(messages.size(), 1u) << answer;
        EXPECT_TRUE(messages[0].checksumOk);
    }
}

TEST(SimPolled, IgnoresQueriesWhileStreaming) {
    TempFolder ports;
    SimProcess sim(ports.Path(), {"--rate", "1", "--count", "2"});
    ASSERT_TRUE(sim.Ready());
    SlavePort port;
    ASSERT_TRUE(port.Open(sim.LinkPath(), 9600));
    for (int i = 0; i < 5; ++i) {
        port.Send("Q\r");
    }
    const auto messages = SplitMessages(port.ReadUntilHangup(), false);
    EXPECT_EQ(messages.size(), 2u);
}

// The baud-rate search: "$$", 0.4 s, "$$", then 0.5 s of listening for "RESET-" and a mode.
std::string RunSearchAttempt(SlavePort& port) {
    port.Send("$$");
    std::string heard = port.ReadFor(400ms);
    port.Send("$$");
    return heard + port.ReadFor(500ms);
}

TEST(SimReset, AnswersTheSearchAtItsOwnSpeedWithTheModeCharacter) {
    TempFolder ports;
    SimProcess sim(ports.Path(), {"--rate", "10", "--baud", "19200", "--mode-char", "M"});
    ASSERT_TRUE(sim.Ready());
    SlavePort port;
    ASSERT_TRUE(port.Open(sim.LinkPath(), 19200));
    const std::string printable = Printable(RunSearchAttempt(port));
    const std::size_t reply = printable.find("RESET-");
    ASSERT_NE(reply, std::string::npos) << printable;
    // The search takes the first printable character after the reply as the mode: no message
    // may come between.
    ASSERT_LT(reply + 6, printable.size());
    EXPECT_EQ(printable[reply + 6], 'M');
}

TEST(SimReset, PolledUnitAnswersPAndOneMoreCharacter) {
    TempFolder ports;
    SimProcess sim(ports.Path(), {"--polled"});
    ASSERT_TRUE(sim.Ready());
    SlavePort port;
    ASSERT_TRUE(port.Open(sim.LinkPath(), 9600));
    const std::string printable = Printable(RunSearchAttempt(port));
    const std::size_t reply = printable.find("RESET-P");
    ASSERT_NE(reply, std::string::npos) << printable;
    ASSERT_LT(reply + 7, printable.size());
    EXPECT_GE(printable[reply + 7], 0x21);
}

TEST(SimReset, AtAWrongSpeedSendsGarbageAndDoesNotAnswer) {
    TempFolder ports;
    const std::string log = ports.Path() + "/send.log";
    SimProcess sim(ports.Path(), {"--rate", "32", "--baud", "9600", "--log", log});
    ASSERT_TRUE(sim.Ready());
    SlavePort port;
    ASSERT_TRUE(port.Open(sim.LinkPath(), 19200));
    std::string garbage = RunSearchAttempt(port);
    garbage += port.ReadFor(500ms);
    EXPECT_GT(garbage.size(), 100u) << "a real line still carries the bytes";
    EXPECT_EQ(Printable(garbage).find("RESET-"), std::string::npos);
    EXPECT_EQ(CountAcceptedPackets(garbage, false), 0);
    // About 45 messages went out; intact framing would show one STX each.
    std::size_t stx = 0;
    for (char c : garbage) {
        stx += c == '\x02' ? 1 : 0;
    }
    EXPECT_LT(stx, 12u);

    // Back at the instrument's speed the same line carries valid messages and hears "$$".
    ASSERT_TRUE(port.SetBaud(9600));
    const std::string good = RunSearchAttempt(port);
    EXPECT_NE(Printable(good).find("RESET-M"), std::string::npos) << Printable(good);
    const std::string more = port.ReadFor(1500ms);
    EXPECT_GT(CountAcceptedPackets(more, false), 3) << "streaming resumes after the reset";
    sim.Signal(SIGTERM);
    ASSERT_EQ(sim.WaitExit(), 0);
    const std::string record = ReadFile(log);
    EXPECT_NE(record.find("program line speed 19200 (differs: garbage)"), std::string::npos);
    EXPECT_NE(record.find("\tgarbled\t0\t"), std::string::npos);
    EXPECT_NE(record.find("\treset-reply\t"), std::string::npos);
}

TEST(SimFaults, TheLogAccountsForEveryAcceptedMessageOnTheLine) {
    TempFolder ports;
    const std::string log = ports.Path() + "/send.log";
    SimProcess sim(ports.Path(), {"--rate", "50", "--baud", "19200", "--count", "40", "--log", log,
                                  "--bad-checksum-every", "3", "--lost-cr-every", "7",
                                  "--lost-start-every", "5", "--noise", "0.3", "--seed", "11"});
    ASSERT_TRUE(sim.Ready());
    SlavePort port;
    ASSERT_TRUE(port.Open(sim.LinkPath(), 19200));
    const std::string stream = port.ReadUntilHangup();
    ASSERT_EQ(sim.WaitExit(), 0);

    const auto lines = ReadSendLog(log);
    int accepted = 0;
    int faulty = 0;
    std::string sent;
    for (const LogLine& line : lines) {
        if (line.status == "unheard") {
            continue;
        }
        sent += line.bytes;
        accepted += line.accepted;
        const std::uint64_t sequence = std::stoull(line.sequence);
        if (line.status == "noise") {
            continue;
        }
        EXPECT_EQ(line.status.find("bad-checksum") != std::string::npos, sequence % 3 == 0);
        EXPECT_EQ(line.status.find("no-cr") != std::string::npos, sequence % 7 == 0);
        EXPECT_EQ(line.status.find("no-start") != std::string::npos, sequence % 5 == 0);
        faulty += line.status == "ok" ? 0 : 1;
    }
    EXPECT_GT(faulty, 10);
    EXPECT_EQ(stream, sent) << "the log holds exactly the bytes that went out";
    EXPECT_EQ(CountAcceptedPackets(stream, false), accepted);
    EXPECT_LT(accepted, 40);
}

TEST(SimFaults, SilencePausesTheStream) {
    TempFolder ports;
    const std::string log = ports.Path() + "/send.log";
    SimProcess sim(ports.Path(), {"--rate", "10", "--silence-after", "1", "--silence-for", "1",
                                  "--duration", "3", "--log", log});
    ASSERT_TRUE(sim.Ready());
    SlavePort port;
    ASSERT_TRUE(port.Open(sim.LinkPath(), 9600));
    Clock::time_point last = Clock::now();
    Clock::duration longestGap{};
    while (!port.HungUp()) {
        const std::string chunk = port.ReadFor(20ms);
        if (!chunk.empty()) {
            longestGap = std::max(longestGap, Clock::now() - last);
            last = Clock::now();
        }
    }
    EXPECT_EQ(sim.WaitExit(), 0);
    EXPECT_GT(longestGap, 700ms);
    int silent = 0;
    for (const LogLine& line : ReadSendLog(log)) {
        silent += line.status == "silent" ? 1 : 0;
    }
    EXPECT_GE(silent, 8);
    EXPECT_LE(silent, 12);
}

TEST(SimFaults, AVanishingDeviceHangsUpThePort) {
    TempFolder ports;
    SimProcess sim(ports.Path(), {"--rate", "10", "--vanish-after", "1"});
    ASSERT_TRUE(sim.Ready());
    SlavePort port;
    ASSERT_TRUE(port.Open(sim.LinkPath(), 9600));
    port.ReadUntilHangup(10s);
    EXPECT_TRUE(port.HungUp());
    EXPECT_EQ(sim.WaitExit(), 0);
    EXPECT_FALSE(PathExists(sim.LinkPath()));
}

TEST(SimLifecycle, SigtermRemovesTheLinkAndFlushesTheLog) {
    TempFolder ports;
    const std::string log = ports.Path() + "/send.log";
    SimProcess sim(ports.Path(), {"--rate", "10", "--log", log});
    ASSERT_TRUE(sim.Ready());
    const std::string link = sim.LinkPath();
    EXPECT_TRUE(PathExists(link));
    std::this_thread::sleep_for(300ms);
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.WaitExit(), 0);
    EXPECT_FALSE(PathExists(link));
    EXPECT_NE(ReadFile(log).find("stopped by signal"), std::string::npos);
}

TEST(SimLifecycle, TakesTheFirstFreePortAndReplacesOnlyDanglingLinks) {
    TempFolder ports;
    ASSERT_EQ(symlink("/nonexistent/device", (ports.Path() + "/COM11").c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", (ports.Path() + "/COM12").c_str()), 0);
    SimProcess first(ports.Path(), {});
    ASSERT_TRUE(first.Ready());
    EXPECT_EQ(first.LinkPath(), ports.Path() + "/COM11");
    SimProcess second(ports.Path(), {});
    ASSERT_TRUE(second.Ready());
    EXPECT_EQ(second.LinkPath(), ports.Path() + "/COM13");
    char target[64] = {};
    ASSERT_GT(readlink((ports.Path() + "/COM12").c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "/dev/null") << "a live entry is never touched";

    SimProcess busy(ports.Path(), {"--port", "12"});
    EXPECT_FALSE(busy.Ready());
    EXPECT_EQ(busy.WaitExit(), 1);
}

TEST(SimLifecycle, CreatesAMissingPortsFolderPrivately) {
    TempFolder base;
    const std::string folder = base.Path() + "/config/ventrix/ports";
    SimProcess sim(folder, {"--port", "7"});
    ASSERT_TRUE(sim.Ready());
    EXPECT_EQ(sim.LinkPath(), folder + "/COM7");
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(SimLifecycle, DoesNotSpinWhileNobodyListens) {
    TempFolder ports;
    SimProcess sim(ports.Path(), {"--rate", "100", "--baud", "57600"});
    ASSERT_TRUE(sim.Ready());
    auto cpuTicks = [&sim] {
        std::ifstream stat("/proc/" + std::to_string(sim.Pid()) + "/stat");
        std::string field;
        long ticks = 0;
        for (int i = 1; i <= 15 && stat >> field; ++i) {
            if (i == 14 || i == 15) {
                ticks += std::stol(field);
            }
        }
        return ticks;
    };
    const long before = cpuTicks();
    std::this_thread::sleep_for(1s);
    const long used = cpuTicks() - before;
    // A spinning loop would use the whole second (sysconf ticks, usually 100).
    EXPECT_LT(used, sysconf(_SC_CLK_TCK) / 2);
}

TEST(SimReproducibility, TheSameSeedGivesTheSameMessages) {
    TempFolder ports;
    auto run = [&ports](const std::string& seed, const std::string& name) {
        const std::string log = ports.Path() + "/" + name;
        SimProcess sim(ports.Path(), {"--rate", "100", "--baud", "57600", "--duration", "0.5",
                                      "--seed", seed, "--log", log, "--lost-cr", "0.2"});
        EXPECT_TRUE(sim.Ready());
        EXPECT_EQ(sim.WaitExit(), 0);
        std::vector<std::string> texts;
        for (const LogLine& line : ReadSendLog(log)) {
            texts.push_back(line.bytes);
        }
        return texts;
    };
    auto first = run("42", "a.log");
    auto second = run("42", "b.log");
    auto other = run("43", "c.log");
    const std::size_t common = std::min({first.size(), second.size(), other.size()});
    ASSERT_GT(common, 20u);
    first.resize(common);
    second.resize(common);
    other.resize(common);
    EXPECT_EQ(first, second);
    EXPECT_NE(first, other);
}

TEST(SimCommandLine, RejectsValuesTheInstrumentDoesNotHave) {
    TempFolder ports;
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--rate", "3"},
                                                      {"--format", "VARN_SOMETHING"},
                                                      {"--units", "X"},
                                                      {"--bad-checksum", "1.5"},
                                                      {"--port", "51"},
                                                      {"--frobnicate"}}) {
        SimProcess sim(ports.Path(), arguments);
        EXPECT_FALSE(sim.Ready());
        EXPECT_EQ(sim.WaitExit(), 2) << arguments.front();
    }
}

}  // namespace
}  // namespace vx::simtest
