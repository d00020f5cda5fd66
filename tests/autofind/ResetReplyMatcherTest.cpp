#include "serial/Sync.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx {
namespace {

using Step = ResetReplyMatcher::Step;

std::vector<Step> FeedAll(ResetReplyMatcher& matcher, const std::string& text) {
    std::vector<Step> steps;
    for (char c : text) {
        steps.push_back(matcher.Feed(c));
    }
    return steps;
}

bool Completes(const std::string& text) {
    ResetReplyMatcher matcher;
    for (Step step : FeedAll(matcher, text)) {
        if (step == Step::Complete) {
            return true;
        }
    }
    return false;
}

TEST(ResetReplyMatcher, TheReplyCompletesOnItsLastCharacterAndExtendsListeningJustBefore) {
    ResetReplyMatcher matcher;
    EXPECT_EQ(FeedAll(matcher, "RESET-"),
              (std::vector<Step>{Step::Advanced, Step::Advanced, Step::Advanced, Step::Advanced,
                                 Step::Extended, Step::Complete}));
    EXPECT_EQ(matcher.Index(), 0) << "a finished reply starts the matcher over";
}

TEST(ResetReplyMatcher, RecognisesTheReplyAfterUnrelatedCharacters) {
    EXPECT_TRUE(Completes("xyz RESET-M"));
    EXPECT_TRUE(Completes("RESXRESET-"));
    EXPECT_TRUE(Completes("$$RESET-"));
}

// A character that breaks the reply is not taken as a new first character.
TEST(ResetReplyMatcher, ABrokenReplyIsNotRestartedByTheCharacterThatBrokeIt) {
    EXPECT_FALSE(Completes("RRESET-"));
    EXPECT_FALSE(Completes("RERESET-"));
    EXPECT_FALSE(Completes("RESERESET-"));
    // One unrelated character in between lets the next R start afresh.
    EXPECT_TRUE(Completes("RRxRESET-"));
}

TEST(ResetReplyMatcher, AnyOtherPrintableCharacterInsideTheReplyBreaksIt) {
    for (const std::string text : {"RES ET-", "RESET_", "reset-", "RESE-T", "R-ESET-"}) {
        EXPECT_FALSE(Completes(text)) << text;
    }
}

TEST(ResetReplyMatcher, AMismatchSetsTheIndexBackToZero) {
    ResetReplyMatcher matcher;
    FeedAll(matcher, "RESE");
    EXPECT_EQ(matcher.Index(), 4);
    EXPECT_EQ(matcher.Feed('E'), Step::Broken);
    EXPECT_EQ(matcher.Index(), 0);
}

}  // namespace
}  // namespace vx
