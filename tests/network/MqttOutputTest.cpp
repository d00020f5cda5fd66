// MQTT through a real mosquitto broker on loopback: samples and statistics as JSON, the retained
// status with "offline" on a stop, a broker that comes and goes, a user and password, and
// nothing piling up while the broker is away.

#include "network/MqttOutput.h"
#include "network/WindJson.h"
#include "network/WindOutputs.h"
#include "tests/network/NetworkTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace vx {
namespace {

using namespace test;

WindReport Report(double magnitude, double direction) {
    WindReport report;
    report.time = WallClock::now();
    report.magnitude = magnitude;
    report.direction = direction;
    report.u = -magnitude;
    report.v = 0.125;
    report.w = -0.5;
    return report;
}

OutputSettings MqttTo(int port, const std::string& prefix) {
    OutputSettings settings;
    settings.mqtt.on = true;
    settings.mqtt.samplesPerSecond = kMaxMessagesPerSecond;
    settings.broker.host = "127.0.0.1";
    settings.broker.port = port;
    settings.broker.topicPrefix = prefix;
    settings.topic = "Mast/1";
    return settings;
}

bool Connected(const WindOutputs& outputs) {
    return WaitUntil([&] { return outputs.Mqtt().connected; });
}

class MqttOutputTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(broker_.Start()) << "mosquitto did not start"; }

    Broker broker_;
};

TEST_F(MqttOutputTest, SamplesAndStatisticsArriveAsJsonUnderTheConnectionsTopic) {
    Subscriber subscriber(broker_.Port(), "site/#");
    ASSERT_TRUE(subscriber.Connected());
    WindOutputs outputs("boat");
    ASSERT_EQ(outputs.Configure(MqttTo(broker_.Port(), "site/wind")), "");
    EXPECT_EQ(outputs.TopicBase(), "site/wind/Mast_1");
    ASSERT_TRUE(subscriber.WaitFor("site/wind/Mast_1/status", "online"));

    const WindReport report = Report(5.123456789, 229.4);
    outputs.HandSample(report);
    ASSERT_TRUE(WaitUntil([&] { return !subscriber.On("site/wind/Mast_1/sample").empty(); }));
    const std::string sample = subscriber.On("site/wind/Mast_1/sample").front().payload;
    EXPECT_EQ(JsonNumber(sample, "speed"), 5.123456789);  // exact, not rounded
    EXPECT_EQ(JsonNumber(sample, "direction"), 229.4);
    EXPECT_EQ(JsonNumber(sample, "u"), -5.123456789);
    EXPECT_EQ(JsonNumber(sample, "v"), 0.125);
    EXPECT_EQ(JsonNumber(sample, "w"), -0.5);
    EXPECT_EQ(JsonText(sample, "time"), IsoUtcTime(report.time));
    EXPECT_NE(sample.find("\"units\":{\"speed\":\"m/s\",\"direction\":\"degrees\"}"),
              std::string::npos);

    WindSummary summary;
    summary.current = report;
    summary.gustKnown = true;
    summary.gust = 6.25;
    summary.averagingMinutes = 10;
    summary.vectorSpeed = 4;
    summary.vectorDirection = 200;
    summary.scalarSpeed = 4.5;
    summary.scalarDirection = 210;
    summary.maxGust = 9;
    summary.minGust = 1.5;
    outputs.HandSummary(summary);
    ASSERT_TRUE(WaitUntil([&] { return !subscriber.On("site/wind/Mast_1/statistics").empty(); }));
    const std::string stats = subscriber.On("site/wind/Mast_1/statistics").front().payload;
    EXPECT_EQ(JsonNumber(stats, "gust"), 6.25);
    EXPECT_EQ(JsonNumber(stats, "averaging_minutes"), 10);
    EXPECT_EQ(JsonNumber(stats, "vector_speed"), 4);
    EXPECT_EQ(JsonNumber(stats, "vector_direction"), 200);
    EXPECT_EQ(JsonNumber(stats, "scalar_speed"), 4.5);
    EXPECT_EQ(JsonNumber(stats, "scalar_direction"), 210);
    EXPECT_EQ(JsonNumber(stats, "max_gust"), 9);
    EXPECT_EQ(JsonNumber(stats, "min_gust"), 1.5);
    EXPECT_EQ(JsonNumber(stats, "speed"), 5.123456789);

    outputs.Stop();
    EXPECT_TRUE(subscriber.WaitFor("site/wind/Mast_1/status", "offline"));
}

TEST_F(MqttOutputTest, StatusIsRetainedAndFollowsTheConnection) {
    WindOutputs outputs("boat");
    ASSERT_EQ(outputs.Configure(MqttTo(broker_.Port(), "ventrix/boat")), "");
    ASSERT_TRUE(Connected(outputs));
    outputs.SetLinkStatus(LinkStatus::PortLost);
    {
        // A dashboard that comes later still learns the state at once.
        Subscriber late(broker_.Port(), "ventrix/#");
        ASSERT_TRUE(late.WaitFor("ventrix/boat/Mast_1/status", "port lost"));
        EXPECT_TRUE(late.On("ventrix/boat/Mast_1/status").front().retained);
    }
    Subscriber subscriber(broker_.Port(), "ventrix/#");
    outputs.SetLinkStatus(LinkStatus::NoData);
    EXPECT_TRUE(subscriber.WaitFor("ventrix/boat/Mast_1/status", "no data"));
    // No statistics while the instrument is quiet: they would be old values under a new time.
    WindSummary summary;
    summary.current = Report(1, 1);
    outputs.HandSummary(summary);
    outputs.SetLinkStatus(LinkStatus::Online);
    EXPECT_TRUE(subscriber.WaitFor("ventrix/boat/Mast_1/status", "online"));
    summary.current = Report(2, 2);
    outputs.HandSummary(summary);
    ASSERT_TRUE(
        WaitUntil([&] { return !subscriber.On("ventrix/boat/Mast_1/statistics").empty(); }));
    const auto statistics = subscriber.On("ventrix/boat/Mast_1/statistics");
    ASSERT_EQ(statistics.size(), 1u);
    EXPECT_EQ(JsonNumber(statistics.front().payload, "speed"), 2);
}

TEST_F(MqttOutputTest, AStopPublishesEverySampleHandedOverBeforeSayingOffline) {
    Subscriber subscriber(broker_.Port(), "ventrix/#");
    ASSERT_TRUE(subscriber.Connected());
    MqttOutput output;
    std::string error;
    ASSERT_TRUE(output.Start(MqttTo(broker_.Port(), "").broker, "ventrix/end", error)) << error;
    ASSERT_TRUE(subscriber.WaitFor("ventrix/end/status", "online"));
    constexpr int kSamples = 200;  // within what may wait to be written
    for (int i = 0; i < kSamples; ++i) {
        OutputEvent event;
        event.data.current = Report(i, 90);
        output.Hand(event);
    }
    output.Stop();
    ASSERT_TRUE(subscriber.WaitFor("ventrix/end/status", "offline"));
    const auto samples = subscriber.On("ventrix/end/sample");
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(kSamples));
    for (int i = 0; i < kSamples; ++i) {
        EXPECT_EQ(JsonNumber(samples[static_cast<std::size_t>(i)].payload, "speed"), i);
    }
    EXPECT_EQ(output.Counts().published, static_cast<std::uint64_t>(kSamples));
    EXPECT_FALSE(output.Counts().connected);
}

TEST_F(MqttOutputTest, PublishingResumesByItselfWhenTheBrokerReturns) {
    WindOutputs outputs("boat");
    ASSERT_EQ(outputs.Configure(MqttTo(broker_.Port(), "ventrix/boat")), "");
    ASSERT_TRUE(Connected(outputs));

    broker_.Stop();
    ASSERT_TRUE(WaitUntil([&] { return !outputs.Mqtt().connected; }));
    // While it is away nothing waits: 1000 samples are dropped, not queued.
    for (int i = 0; i < 1000; ++i) {
        outputs.HandSample(Report(i % 50, 10));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(WaitUntil([&] { return outputs.Mqtt().dropped > 0; }));
    EXPECT_FALSE(outputs.Mqtt().problem.empty());

    ASSERT_TRUE(broker_.Start());
    Subscriber subscriber(broker_.Port(), "ventrix/#");
    ASSERT_TRUE(subscriber.Connected());
    // Back online by itself, its status republished (the new broker kept nothing).
    ASSERT_TRUE(subscriber.WaitFor("ventrix/boat/Mast_1/status", "online"));
    outputs.HandSample(Report(7.5, 45));
    ASSERT_TRUE(WaitUntil([&] { return !subscriber.On("ventrix/boat/Mast_1/sample").empty(); }));
    const auto samples = subscriber.On("ventrix/boat/Mast_1/sample");
    // Only what was handed over after the return arrives: nothing stale was kept.
    EXPECT_EQ(samples.size(), 1u);
    EXPECT_EQ(JsonNumber(samples.front().payload, "speed"), 7.5);
    EXPECT_GE(outputs.Mqtt().connects, 2u);
}

TEST_F(MqttOutputTest, BrokerThatIsNotThereYetIsReachedWhenItStarts) {
    Broker later;
    WindOutputs outputs("boat");
    ASSERT_EQ(outputs.Configure(MqttTo(later.Port(), "ventrix/boat")), "");
    ASSERT_TRUE(WaitUntil([&] { return !outputs.Mqtt().problem.empty(); }));
    EXPECT_FALSE(outputs.Mqtt().connected);
    ASSERT_TRUE(later.Start());
    EXPECT_TRUE(Connected(outputs));
}

TEST(MqttOutputAuth, UserAndPasswordAreSentAndAWrongOneIsReported) {
    Broker broker;
    broker.RequireUser("station", "s3cret:pass");
    ASSERT_TRUE(broker.Start());
    OutputSettings settings = MqttTo(broker.Port(), "ventrix/boat");
    settings.broker.user = "station";
    settings.broker.password = "wrong";
    WindOutputs refused("boat");
    ASSERT_EQ(refused.Configure(settings), "");
    ASSERT_TRUE(WaitUntil([&] { return !refused.Mqtt().problem.empty(); }));
    EXPECT_FALSE(refused.Mqtt().connected);

    settings.broker.password = "s3cret:pass";
    WindOutputs accepted("boat");
    ASSERT_EQ(accepted.Configure(settings), "");
    EXPECT_TRUE(Connected(accepted));
}

TEST(MqttOutputTls, ConnectsWithTheBrokersCaAndRefusesAnotherCa) {
    Broker broker;
    ASSERT_TRUE(broker.EnableTls()) << "openssl could not make the certificates";
    ASSERT_TRUE(broker.Start());
    OutputSettings settings = MqttTo(broker.TlsPort(), "ventrix/boat");
    settings.broker.tls = true;
    settings.broker.caFile = broker.CaFile();
    WindOutputs trusted("boat");
    ASSERT_EQ(trusted.Configure(settings), "");
    ASSERT_TRUE(Connected(trusted));
    Subscriber subscriber(broker.Port(), "ventrix/#");  // the plain listener of the same broker
    ASSERT_TRUE(subscriber.Connected());
    trusted.HandSample(Report(3.5, 120));
    ASSERT_TRUE(WaitUntil([&] { return !subscriber.On("ventrix/boat/Mast_1/sample").empty(); }));
    EXPECT_EQ(JsonNumber(subscriber.On("ventrix/boat/Mast_1/sample").front().payload, "speed"),
              3.5);

    // A broker whose certificate another authority signed is not talked to.
    TempFolder other;
    ASSERT_TRUE(MakeCertificateAuthority(other.Path()));
    settings.broker.caFile = other.Path() + "/ca.pem";
    WindOutputs untrusted("boat");
    ASSERT_EQ(untrusted.Configure(settings), "");
    ASSERT_TRUE(WaitUntil([&] { return !untrusted.Mqtt().problem.empty(); }));
    EXPECT_FALSE(untrusted.Mqtt().connected);
    EXPECT_EQ(untrusted.Mqtt().connects, 0u);
}

TEST(MqttOutputTls, ACaFileThatCannotBeReadIsReportedAtOnce) {
    OutputSettings settings = MqttTo(FreePort(), "ventrix/boat");
    settings.broker.tls = true;
    settings.broker.caFile = "/nonexistent/ca.pem";
    WindOutputs outputs("boat");
    const std::string problem = outputs.Configure(settings);
    EXPECT_NE(problem.find("/nonexistent/ca.pem"), std::string::npos) << problem;
    EXPECT_FALSE(outputs.MqttRunning());
}

}  // namespace
}  // namespace vx
