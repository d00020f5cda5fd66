// NMEA over the network, on loopback: datagrams and TCP clients receive the sentences of the
// samples handed over, a slow client is dropped without holding anyone up, and the server keeps
// to its client limit.

#include "network/NmeaOutput.h"
#include "network/TcpServer.h"
#include "network/WindOutputs.h"
#include "platform/NumberText.h"
#include "tests/network/NetworkTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vx {
namespace {

using namespace test;

WindReport Report(double magnitude, double direction) {
    WindReport report;
    report.time = WallClock::now();
    report.magnitude = magnitude;
    report.direction = direction;
    return report;
}

OutputSettings NmeaTo(int udpPort, bool tcp) {
    OutputSettings settings;
    settings.nmea.udpOn = udpPort > 0;
    settings.nmea.udpHost = "127.0.0.1";
    settings.nmea.udpPort = udpPort;
    settings.nmea.tcpOn = tcp;
    settings.nmea.tcpPort = 0;  // a free one
    settings.nmea.sentencesPerSecond = kMaxMessagesPerSecond;
    settings.nmea.unit = NmeaSpeedUnit::MetresPerSecond;
    return settings;
}

TEST(NmeaOutput, DatagramsAndClientsGetTheSamplesSentences) {
    UdpListener listener;
    WindOutputs outputs("test");
    ASSERT_EQ(outputs.Configure(NmeaTo(listener.Port(), true)), "");
    const int tcpPort = outputs.Nmea().tcpPort;
    ASSERT_GT(tcpPort, 0);
    TcpClient client(tcpPort);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(WaitUntil([&] { return outputs.Nmea().tcpClients == 1; }));
    client.Send("$PXXX,anything a client says is ignored*00\r\n");

    const std::vector<std::pair<double, double>> winds = {{5.25, 229.4}, {0, 0}, {12.5, 359.9}};
    for (const auto& [speed, direction] : winds) {
        outputs.HandSample(Report(speed, direction));
        // Keep well inside the 100 a second limit.
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    for (const auto& [speed, direction] : winds) {
        const auto datagram = listener.Receive();
        ASSERT_TRUE(datagram);
        const auto line = client.ReadLine();
        ASSERT_TRUE(line);
        EXPECT_EQ(*datagram, *line);  // one sentence per datagram, the same on TCP
        const NmeaFields fields = ParseSentence(*datagram);
        ASSERT_TRUE(fields.checksumOk) << *datagram;
        ASSERT_EQ(fields.fields.size(), 6u);
        EXPECT_EQ(fields.fields[0], "WIMWV");
        EXPECT_NEAR(std::stod(fields.fields[1]), direction, 0.05);
        EXPECT_NEAR(std::stod(fields.fields[3]), speed, 0.005);
        EXPECT_EQ(fields.fields[5], "A");
    }
}

TEST(NmeaOutput, SummaryGivesTheXdrOfGustAndAverages) {
    UdpListener listener;
    WindOutputs outputs("test");
    ASSERT_EQ(outputs.Configure(NmeaTo(listener.Port(), false)), "");
    WindSummary summary;
    summary.current = Report(5, 90);
    outputs.HandSummary(summary);  // no gust yet: nothing to say
    summary.gustKnown = true;
    summary.gust = 6.5;
    summary.averagingMinutes = 2;
    summary.vectorSpeed = 4;
    summary.scalarSpeed = 4.5;
    summary.vectorDirection = 80;
    summary.scalarDirection = 85;
    summary.magnitudeVector = false;  // the connection shows the scalar speed
    outputs.HandSummary(summary);
    const auto datagram = listener.Receive();
    ASSERT_TRUE(datagram);
    const NmeaFields fields = ParseSentence(*datagram);
    ASSERT_TRUE(fields.checksumOk);
    EXPECT_EQ(fields.fields,
              (std::vector<std::string>{"WIXDR", "G", "6.50", "M", "GUST3S", "G", "4.50", "M",
                                        "AVGSPD2M", "A", "80.0", "D", "AVGDIR2M"}));
}

TEST(NmeaOutput, RateLimitHoldsSentencesToTheChosenNumber) {
    UdpListener listener;
    WindOutputs outputs("test");
    OutputSettings settings = NmeaTo(listener.Port(), false);
    settings.nmea.sentencesPerSecond = 1;
    ASSERT_EQ(outputs.Configure(settings), "");
    // A burst of 50 samples within a fraction of a second: one sentence.
    for (int i = 0; i < 50; ++i) {
        outputs.HandSample(Report(i, 10));
    }
    const auto first = listener.Receive();
    ASSERT_TRUE(first);
    EXPECT_EQ(ParseSentence(*first).fields[3], "0.00");
    EXPECT_FALSE(listener.Receive(std::chrono::milliseconds(300)));
}

TEST(NmeaOutput, LostOrSilentInstrumentGivesVoidSentencesOnceASecond) {
    UdpListener listener;
    WindOutputs outputs("test");
    ASSERT_EQ(outputs.Configure(NmeaTo(listener.Port(), false)), "");
    outputs.SetLinkStatus(LinkStatus::PortLost);
    outputs.HandSample(Report(5, 90));  // on its way as the port went: not sent
    const auto first = listener.Receive(std::chrono::seconds(5));
    ASSERT_TRUE(first);
    EXPECT_EQ(ParseSentence(*first).fields.back(), "V");
    const auto second = listener.Receive(std::chrono::seconds(5));
    ASSERT_TRUE(second);
    EXPECT_EQ(ParseSentence(*second).fields.back(), "V");
    outputs.SetLinkStatus(LinkStatus::Online);
    outputs.HandSample(Report(5, 90));
    std::optional<std::string> next;
    ASSERT_TRUE(WaitUntil([&] {
        next = listener.Receive(std::chrono::seconds(5));
        return !next || ParseSentence(*next).fields.back() == "A";
    }));
    ASSERT_TRUE(next);
}

TEST(NmeaOutput, AStopSendsEverySampleHandedOverBeforeIt) {
    // A station whose run ends (a count, a signal) still sends the samples it took last.
    UdpListener listener;
    NmeaOutput output;
    std::string error;
    ASSERT_TRUE(output.Start(NmeaTo(listener.Port(), false).nmea, error)) << error;
    constexpr int kSamples = 200;
    for (int i = 0; i < kSamples; ++i) {
        OutputEvent event;
        event.data.current = Report(i / 10.0, 90);
        output.Hand(event);
    }
    output.Stop();
    for (int i = 0; i < kSamples; ++i) {
        const auto datagram = listener.Receive(std::chrono::seconds(5));
        ASSERT_TRUE(datagram) << "sample " << i << " was not sent";
        EXPECT_EQ(ParseSentence(*datagram).fields[3], FormatFixed(i / 10.0, 2));
    }  // What the run did is still told once it has ended.
    EXPECT_EQ(output.Counts().sentences, static_cast<std::uint64_t>(kSamples));
    EXPECT_EQ(output.Counts().datagrams, static_cast<std::uint64_t>(kSamples));
}

TEST(TcpServer, AClientThatStopsReadingIsDroppedWithoutSlowingTheOthers) {
    TcpServer server;
    TcpServerOptions options;
    options.port = 0;
    options.clientBuffer = 8 * 1024;
    options.socketBuffer = 4 * 1024;
    std::string error;
    ASSERT_TRUE(server.Start(options, error)) << error;
    TcpClient reader(server.Port());
    TcpClient stuck(server.Port(), 4096);  // never reads
    ASSERT_TRUE(WaitUntil([&] { return server.Counts().clients == 2; }));

    // Far more than the stuck client's buffers hold; the reader takes every line, in order.
    const int lines = 10000;
    std::atomic<int> received{0};
    std::atomic<bool> inOrder{true};
    std::thread readerThread([&] {
        for (int i = 0; i < lines; ++i) {
            const auto line = reader.ReadLine();
            if (!line) {
                return;
            }
            if (*line != "line " + std::to_string(i) + "\r\n") {
                inOrder = false;
            }
            ++received;
        }
    });
    for (int i = 0; i < lines; ++i) {
        server.Broadcast("line " + std::to_string(i) + "\r\n");
        if (i % 100 == 99) {
            // A reader that keeps up stays a few hundred lines behind at most, however loaded
            // the machine: well inside its buffer, while the stuck client's fills.
            WaitUntil([&] { return received >= i + 1 - 200; });
        }
    }
    readerThread.join();
    EXPECT_EQ(received, lines);
    EXPECT_TRUE(inOrder);
    EXPECT_TRUE(stuck.ClosedByServer());
    EXPECT_EQ(server.Counts().dropped, 1u);
    EXPECT_EQ(server.Counts().clients, 1);
}

TEST(TcpServer, KeepsToItsClientLimitAndFreesPlacesOfClientsThatLeave) {
    TcpServer server;
    TcpServerOptions options;
    options.port = 0;
    options.maxClients = 2;
    std::string error;
    ASSERT_TRUE(server.Start(options, error)) << error;
    auto first = std::make_unique<TcpClient>(server.Port());
    TcpClient second(server.Port());
    ASSERT_TRUE(WaitUntil([&] { return server.Counts().clients == 2; }));
    TcpClient third(server.Port());
    EXPECT_TRUE(third.ClosedByServer());
    EXPECT_EQ(server.Counts().refused, 1u);

    first.reset();
    ASSERT_TRUE(WaitUntil([&] { return server.Counts().clients == 1; }));
    TcpClient fourth(server.Port());
    ASSERT_TRUE(WaitUntil([&] { return server.Counts().clients == 2; }));
    server.Broadcast("$HELLO*00\r\n");
    EXPECT_EQ(fourth.ReadLine(), "$HELLO*00\r\n");
}

TEST(TcpServer, APortInUseOrABadAddressIsReported) {
    TcpServer first;
    TcpServerOptions options;
    options.port = 0;
    std::string error;
    ASSERT_TRUE(first.Start(options, error));
    TcpServer second;
    options.port = first.Port();
    EXPECT_FALSE(second.Start(options, error));
    EXPECT_NE(error.find(std::to_string(first.Port())), std::string::npos) << error;
    options.address = "boat.local";
    EXPECT_FALSE(second.Start(options, error));

    // The outputs report it, naming the output.
    UdpListener listener;
    OutputSettings settings = NmeaTo(listener.Port(), true);
    settings.nmea.tcpPort = first.Port();
    WindOutputs outputs("test");
    const std::string problem = outputs.Configure(settings);
    EXPECT_NE(problem.find("NMEA"), std::string::npos) << problem;
    EXPECT_FALSE(outputs.NmeaRunning());
}

}  // namespace
}  // namespace vx
