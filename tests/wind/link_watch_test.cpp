#include "connection/LinkWatch.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

using Clock = LinkWatch::Clock;
using std::chrono::milliseconds;

TEST(LinkWatch, QuietMeansFiveMissedMessagesButNeverUnderThreeSeconds) {
    EXPECT_EQ(LinkWatch::SilenceThreshold(0), 3.0);
    EXPECT_EQ(LinkWatch::SilenceThreshold(4), 3.0);
    EXPECT_EQ(LinkWatch::SilenceThreshold(1), 5.0);
    EXPECT_EQ(LinkWatch::SilenceThreshold(0.25), 20.0);
    EXPECT_EQ(LinkWatch::SilenceThreshold(100), 3.0);
}

TEST(LinkWatch, StatesFollowMessagesLossAndReturn) {
    const Clock::time_point t0{};
    LinkWatch watch;
    watch.Start(t0);
    EXPECT_FALSE(watch.EverHeard());
    EXPECT_EQ(watch.State(t0 + milliseconds(2900), 4), LinkState::Online);
    EXPECT_EQ(watch.State(t0 + milliseconds(3100), 4), LinkState::NoData);
    EXPECT_NEAR(watch.SilentSeconds(t0 + milliseconds(3100)), 3.1, 1e-9);

    EXPECT_TRUE(watch.MessageArrived(t0 + milliseconds(3100), 4));  // ends a quiet spell
    EXPECT_TRUE(watch.EverHeard());
    EXPECT_FALSE(watch.MessageArrived(t0 + milliseconds(3350), 4));
    EXPECT_EQ(watch.State(t0 + milliseconds(4000), 4), LinkState::Online);
    // At 1 Hz the same pause is only a message or two.
    EXPECT_EQ(watch.State(t0 + milliseconds(7000), 1), LinkState::Online);
    EXPECT_EQ(watch.State(t0 + milliseconds(8400), 1), LinkState::NoData);

    watch.PortLost();
    EXPECT_EQ(watch.State(t0 + milliseconds(3400), 4), LinkState::PortLost);
    watch.PortReturned();
    // Back, but until a message passes the test the quiet is counted from the last one.
    EXPECT_EQ(watch.State(t0 + milliseconds(9000), 4), LinkState::NoData);
    EXPECT_TRUE(watch.MessageArrived(t0 + milliseconds(9000), 4));
    EXPECT_EQ(watch.State(t0 + milliseconds(9100), 4), LinkState::Online);
    EXPECT_STREQ(LinkStateName(LinkState::PortLost), "port lost");
    EXPECT_STREQ(LinkStateName(LinkState::NoData), "no data");
    EXPECT_STREQ(LinkStateName(LinkState::Online), "online");
}

TEST(LinkWatch, TheNoDataAlarmCountsFromTheLaterOfLastMessageAndLastReset) {
    const Clock::time_point t0{};
    LinkWatch watch;
    watch.Start(t0);
    watch.MessageArrived(t0 + milliseconds(1000), 4);
    EXPECT_NEAR(watch.SilentSecondsSinceReset(t0 + milliseconds(11000)), 10, 1e-9);
    watch.AlarmsReset(t0 + milliseconds(11000));
    EXPECT_NEAR(watch.SilentSecondsSinceReset(t0 + milliseconds(12000)), 1, 1e-9);
    EXPECT_NEAR(watch.SilentSeconds(t0 + milliseconds(12000)), 11, 1e-9);
    watch.MessageArrived(t0 + milliseconds(13000), 4);
    EXPECT_NEAR(watch.SilentSecondsSinceReset(t0 + milliseconds(14000)), 1, 1e-9);
}

}  // namespace
}  // namespace vx
