// Reading the command line of ventrix: what ends on the terminal, what reaches the toolkit, and
// what is a mistake.

#include "app/CommandLine.h"

#include "app/Version.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace vx {
namespace {

struct ParseCase {
    std::vector<std::string> arguments;
    bool help;
    bool version;
    std::string error;  // empty: accepted
};

// Names each case after its arguments in the test list.
void PrintTo(const ParseCase& parseCase, std::ostream* out) {
    *out << "[";
    for (const std::string& argument : parseCase.arguments) {
        *out << " " << argument;
    }
    *out << " ]";
}

class CommandLineParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CommandLineParse, ReadsEachArgument) {
    const ParseCase& expected = GetParam();
    const CommandLine commandLine = ParseCommandLine(expected.arguments);
    EXPECT_EQ(commandLine.help, expected.help);
    EXPECT_EQ(commandLine.version, expected.version);
    EXPECT_EQ(commandLine.error, expected.error);
    EXPECT_EQ(commandLine.exitStatus, expected.error.empty() ? kExitSuccess : kExitUsage);
    EXPECT_EQ(commandLine.EndsBeforeWindows(),
              expected.help || expected.version || !expected.error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    OwnOptions, CommandLineParse,
    ::testing::Values(ParseCase{{}, false, false, ""}, ParseCase{{"--help"}, true, false, ""},
                      ParseCase{{"-h"}, true, false, ""}, ParseCase{{"--version"}, false, true, ""},
                      ParseCase{{"--version", "--help"}, true, true, ""},
                      ParseCase{{"--help=yes"}, false, false, "option '--help' takes no value"},
                      ParseCase{
                          {"--version=2"}, false, false, "option '--version' takes no value"}));

INSTANTIATE_TEST_SUITE_P(
    ToolkitOptionsPassThrough, CommandLineParse,
    ::testing::Values(ParseCase{{"-platform", "offscreen"}, false, false, ""},
                      ParseCase{{"--platform", "offscreen", "--version"}, false, true, ""},
                      ParseCase{{"-style=fusion", "-reverse"}, false, false, ""},
                      ParseCase{{"-geometry", "800x600+0+0", "-h"}, true, false, ""},
                      // A value that looks like one of ours still belongs to the toolkit.
                      ParseCase{{"-title", "--help"}, false, false, ""},
                      ParseCase{{"-platform"}, false, false, "option '-platform' needs a value"}));

INSTANTIATE_TEST_SUITE_P(
    Mistakes, CommandLineParse,
    ::testing::Values(ParseCase{{"--hlep"}, false, false, "unknown option '--hlep'"},
                      ParseCase{{"-x"}, false, false, "unknown option '-x'"},
                      ParseCase{{"--"}, false, false, "unknown option '--'"},
                      ParseCase{{"COM3"}, false, false, "unexpected argument 'COM3'"},
                      ParseCase{{"a=b"}, false, false, "unexpected argument 'a=b'"},
                      // The first mistake is the one reported; nothing after it counts.
                      ParseCase{{"--bad", "--help"}, false, false, "unknown option '--bad'"}));

TEST(CommandLineArgv, SkipsTheProgramName) {
    const char* argv[] = {"ventrix", "--version", nullptr};
    const CommandLine commandLine = ParseCommandLine(2, argv);
    EXPECT_TRUE(commandLine.version);
    EXPECT_TRUE(commandLine.error.empty());

    const char* onlyName[] = {"--help", nullptr};
    EXPECT_FALSE(ParseCommandLine(1, onlyName).help);
}

struct Answer {
    int status;
    std::string out;
    std::string err;
};

Answer AnswerFor(const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = AnswerOnTerminal(ParseCommandLine(arguments), out, err);
    return {status, out.str(), err.str()};
}

TEST(CommandLineAnswer, VersionIsTheProjectVersionOnOneLine) {
    const Answer answer = AnswerFor({"--version"});
    EXPECT_EQ(answer.status, 0);
    EXPECT_EQ(answer.out, std::string("ventrix ") + kVentrixVersion + "\n");
    EXPECT_TRUE(answer.err.empty());
    EXPECT_NE(std::string(kVentrixVersion).find('.'), std::string::npos);
}

TEST(CommandLineAnswer, HelpGoesToStandardOutputAndNamesEveryOption) {
    const Answer answer = AnswerFor({"--help", "--version"});
    EXPECT_EQ(answer.status, 0);
    EXPECT_EQ(answer.out.rfind("Usage: ventrix", 0), 0u) << answer.out;
    for (const char* option : {"--help", "--version", "dialout", "-platform"}) {
        EXPECT_NE(answer.out.find(option), std::string::npos) << option;
    }
    EXPECT_TRUE(answer.err.empty());
}

TEST(CommandLineAnswer, MistakeGoesToStandardErrorWithAHintAndStatusTwo) {
    const Answer answer = AnswerFor({"--conect"});
    EXPECT_EQ(answer.status, 2);
    EXPECT_TRUE(answer.out.empty());
    EXPECT_EQ(answer.err,
              "ventrix: unknown option '--conect'\n"
              "Try 'ventrix --help' for more information.\n");
}

}  // namespace
}  // namespace vx
