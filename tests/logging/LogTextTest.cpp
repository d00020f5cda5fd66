#include "logging/LogFileName.h"
#include "logging/LogText.h"
#include "platform/NumberText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace vx {
namespace {

using ::testing::ElementsAre;

struct NameCase {
    const char* base;
    const char* connection;
    const char* expected;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.base << " + " << c.connection;
}

class LogFileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(LogFileNameTest, FirstFreeNameFollowsThePattern) {
    const NameCase& c = GetParam();
    EXPECT_EQ(MakeLogFileName(c.base, c.connection, [](const std::string&) { return false; }),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bases, LogFileNameTest,
    ::testing::Values(NameCase{"/data/Varn Log.txt", "Anemometer 1",
                               "/data/Varn Log [Anemometer 1]-0.txt"},
                      NameCase{"/data/Log", "Anemometer 1", "/data/Log [Anemometer 1]-0"},
                      NameCase{"/data/a.b.txt", "Anemometer 1", "/data/a [Anemometer 1]-0.txt"},
                      NameCase{"/Varn Log.txt", "A", "/Varn Log [A]-0.txt"},
                      NameCase{"Varn Log.txt", "A", "Varn Log [A]-0.txt"},
                      NameCase{"/data/.txt", "A", "/data/[A]-0.txt"},
                      NameCase{"/data/ Log ", "A", "/data/Log  [A]-0"},
                      NameCase{"/data/Log",
                               "a/b\x01"
                               "c",
                               "/data/Log [a_b_c]-0"},
                      NameCase{"/data.d/Log", "A", "/data.d/Log [A]-0"}));

TEST(LogFileNameTest, TakesFirstNumberWithoutAFile) {
    const std::set<std::string> taken = {"/d/L [A]-0.txt", "/d/L [A]-1.txt", "/d/L [A]-3.txt"};
    EXPECT_EQ(MakeLogFileName("/d/L.txt", "A",
                              [&](const std::string& path) { return taken.count(path) > 0; }),
              "/d/L [A]-2.txt");
}

// The fallback folder follows the XDG rules: an absolute XDG_STATE_HOME, else the home folder's
// .local/state; a relative XDG_STATE_HOME is ignored.
TEST(LogFileNameTest, FallbackFolderFollowsXdgStateHome) {
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("XDG_STATE_HOME", "/srv/state", 1);
    EXPECT_EQ(DefaultLogFallbackFolder(), "/srv/state/ventrix");
    setenv("XDG_STATE_HOME", "relative/state", 1);
    EXPECT_EQ(DefaultLogFallbackFolder(), HomeFolder() + "/.local/state/ventrix");
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(DefaultLogFallbackFolder(), HomeFolder() + "/.local/state/ventrix");
    if (saved != nullptr) {
        setenv("XDG_STATE_HOME", previous.c_str(), 1);
    }
}

// A name that fits the chosen folder keeps its form in the fallback folder; one that does not
// fit any folder is shortened there, keeping "]-", the number and the extension.
TEST(LogFileNameTest, FallbackNamesFitTheFileSystemLimit) {
    const LogFileNamePattern plain("/data/Varn Log.txt", "Mast 1");
    EXPECT_EQ(plain.InFolder("/state").Candidate(3), "/state/Varn Log [Mast 1]-3.txt");
    const std::string longName(400, 'n');
    const LogFileNamePattern moved =
        LogFileNamePattern("/data/Varn Log.txt", longName).InFolder("/state");
    const std::string name = SplitLogPath(moved.Candidate(kLastLogFileNumber)).file;
    EXPECT_LE(name.size(), kMaxFileNameBytes);
    EXPECT_THAT(name, ::testing::MatchesRegex("Varn Log \\[n+\\]-2147483647\\.txt"));
    // Multi-byte characters are never cut in half.
    const std::string accented = std::string(231, 'a') + "\u00e9\u00e9\u00e9\u00e9";
    const std::string cut =
        SplitLogPath(LogFileNamePattern("/d/L.txt", accented).InFolder("/s").Candidate(0)).file;
    EXPECT_LE(cut.size() + 9, kMaxFileNameBytes);
    for (std::size_t i = 0; i < cut.size(); ++i) {
        if (cut[i] == '\xc3') {
            EXPECT_TRUE(i + 1 < cut.size() && cut[i + 1] == '\xa9') << cut;
        }
    }
    EXPECT_TRUE(cut.ends_with("]-0.txt")) << cut;
}

TEST(LogFileNameTest, SplitsFolderAndFile) {
    EXPECT_EQ(SplitLogPath("/home/u/Varn Log.txt").folder, "/home/u");
    EXPECT_EQ(SplitLogPath("/home/u/Varn Log.txt").file, "Varn Log.txt");
    EXPECT_EQ(SplitLogPath("/Varn Log.txt").folder, "/");
    EXPECT_EQ(SplitLogPath("Varn Log.txt").folder, "");
    EXPECT_EQ(SplitLogPath("/home/u/").file, "");
    EXPECT_EQ(JoinLogPath("/", "x"), "/x");
    EXPECT_EQ(JoinLogPath("/home/u", "x"), "/home/u/x");
    EXPECT_EQ(JoinLogPath("", "x"), "x");
}

TEST(LogTextTest, DescriptionTextSplitsIntoLines) {
    EXPECT_TRUE(SplitTextLines("").empty());
    EXPECT_THAT(SplitTextLines("one"), ElementsAre("one"));
    EXPECT_THAT(SplitTextLines("one\ntwo\n"), ElementsAre("one", "two"));
    EXPECT_THAT(SplitTextLines("one\r\n\r\nthree"), ElementsAre("one", "", "three"));
    EXPECT_THAT(SplitTextLines("\n"), ElementsAre(""));
}

TEST(LogTextTest, WholeNumbersAreDigitsWithOptionalSign) {
    int value = 99;
    EXPECT_TRUE(ParseWholeNumber("15", value));
    EXPECT_EQ(value, 15);
    EXPECT_TRUE(ParseWholeNumber("  -3", value));
    EXPECT_EQ(value, -3);
    EXPECT_TRUE(ParseWholeNumber("+7", value));
    EXPECT_EQ(value, 7);
    for (const char* bad : {"", " ", "1.5", "10 ", "ten", "+-1", "99999999999", "0x10"}) {
        value = 42;
        EXPECT_FALSE(ParseWholeNumber(bad, value)) << bad;
        EXPECT_EQ(value, 42) << bad;
    }
}

TEST(LogTextTest, RecordLineKeepsInnerControlCharacters) {
    PlainTimeFormatter formatter;
    const LocalDateTime when{2024, 1, 2, 3, 4, 5, 600};
    EXPECT_EQ(LogRecordText("Q,1\x03"
                            "2A",
                            {true, true}, 12, formatter, when),
              "Q,1\x03"
              "2A,12,2024-01-02 03:04:05\r\n");
    EXPECT_EQ(LogRecordText("Q", {false, false}, 12, formatter, when), "Q\r\n");
}

}  // namespace
}  // namespace vx
