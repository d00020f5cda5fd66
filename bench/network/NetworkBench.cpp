// What the network outputs cost per sample. The target for building and sending both outputs
// (an MWV sentence over UDP and to a TCP client, and a JSON message to the broker) is under
// 5 microseconds a sample; the connection's own thread pays only the hand-over.
// A mosquitto broker is started on a free loopback port for the run.

#include "network/MqttOutput.h"
#include "network/NmeaSentences.h"
#include "network/TcpServer.h"
#include "network/UdpSender.h"
#include "network/WindJson.h"
#include "network/WindOutputs.h"
#include "tests/network/NetworkTestSupport.h"

#include <benchmark/benchmark.h>
#include <mosquitto.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

using namespace vx;
using namespace vx::test;

test::Broker& SharedBroker() {
    static test::Broker broker;
    static const bool started = broker.Start();
    (void)started;
    return broker;
}

WindReport Sample(int i) {
    WindReport report;
    report.time = WallClock::now();
    report.magnitude = 4.0 + (i % 37) * 0.13;
    report.direction = (i * 7) % 360 + 0.25;
    report.u = -3.0 + (i % 41) * 0.17;
    report.v = 2.0 - (i % 23) * 0.21;
    report.w = 0.05;
    return report;
}

// A TCP client that reads and discards everything, as a plotter would.
class DrainingClient {
public:
    explicit DrainingClient(int port)
        : client_(port), thread_([this] {
              while (!stop_ && client_.ReadLine(std::chrono::milliseconds(100))) {
              }
          }) {}
    ~DrainingClient() {
        stop_ = true;
        thread_.join();
    }

private:
    TcpClient client_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

OutputSettings BothOutputs(int udpPort, int tcpPort) {
    OutputSettings settings;
    settings.nmea.udpOn = true;
    settings.nmea.udpHost = "127.0.0.1";
    settings.nmea.udpPort = udpPort;
    settings.nmea.tcpOn = true;
    settings.nmea.tcpPort = tcpPort;
    // No limit: every sample goes, to measure the cost of each.
    settings.nmea.sentencesPerSecond = 1e9;
    settings.mqtt.on = true;
    settings.mqtt.samplesPerSecond = 1e9;
    settings.broker.host = "127.0.0.1";
    settings.broker.port = SharedBroker().Port();
    settings.topic = "bench";
    return settings;
}

// The connection's side: a rate test and a copy into each output's hand-over.
void BM_HandOverToBothOutputs(benchmark::State& state) {
    UdpListener listener;
    WindOutputs outputs("bench");
    outputs.Configure(BothOutputs(listener.Port(), FreePort()));
    WaitUntil([&] { return outputs.Mqtt().connected; });
    const WindReport report = Sample(1);
    for (auto _ : state) {
        outputs.HandSample(report);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HandOverToBothOutputs);

// Building alone: the MWV sentence and the JSON of one sample.
void BM_BuildSentenceAndJson(benchmark::State& state) {
    int i = 0;
    for (auto _ : state) {
        const WindReport report = Sample(i++);
        benchmark::DoNotOptimize(
            BuildMwv(report.direction, report.magnitude, NmeaSpeedUnit::Knots));
        benchmark::DoNotOptimize(SampleJson(report));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildSentenceAndJson);

// The floor under any output: one loopback datagram of a sentence's size, nothing built.
void BM_BareLoopbackDatagram(benchmark::State& state) {
    UdpListener listener;
    UdpSender udp;
    udp.SetDestination("127.0.0.1", listener.Port());
    const std::string sentence = BuildMwv(229.4, 5.25, NmeaSpeedUnit::Knots);
    for (auto _ : state) {
        udp.Send(sentence);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareLoopbackDatagram);

// The NMEA worker's part: an MWV sentence built, sent as a datagram and queued for a client.
void BM_BuildAndSendNmea(benchmark::State& state) {
    UdpListener listener;
    UdpSender udp;
    udp.SetDestination("127.0.0.1", listener.Port());
    TcpServer server;
    TcpServerOptions options;
    options.port = 0;
    std::string error;
    server.Start(options, error);
    DrainingClient client(server.Port());
    WaitUntil([&] { return server.Counts().clients == 1; });
    int i = 0;
    for (auto _ : state) {
        const WindReport report = Sample(i++);
        const std::string sentence =
            BuildMwv(report.direction, report.magnitude, NmeaSpeedUnit::Knots);
        udp.Send(sentence);
        server.Broadcast(sentence);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildAndSendNmea);

// The MQTT worker's part: the JSON built and published (written to the broker's socket).
void BM_BuildAndPublishMqtt(benchmark::State& state) {
    mosquitto_lib_init();
    mosquitto* client = mosquitto_new(nullptr, true, nullptr);
    mosquitto_connect(client, "127.0.0.1", SharedBroker().Port(), 30);
    int i = 0;
    for (auto _ : state) {
        const std::string json = SampleJson(Sample(i++));
        mosquitto_publish(client, nullptr, "ventrix/bench/sample", static_cast<int>(json.size()),
                          json.data(), 0, false);
        if (i % 64 == 0) {
            mosquitto_loop(client, 0, 1);  // reads what the broker says (nothing) and pings
        }
    }
    state.SetItemsProcessed(state.iterations());
    mosquitto_disconnect(client);
    mosquitto_destroy(client);
}
BENCHMARK(BM_BuildAndPublishMqtt);

// The whole way, threads and wake-ups included: batches of samples handed over, until both
// outputs' workers have built and sent (or, for MQTT, published) every one.
void BM_BothOutputsEndToEnd(benchmark::State& state) {
    UdpListener listener;
    const int tcpPort = FreePort();
    WindOutputs outputs("bench");
    outputs.Configure(BothOutputs(listener.Port(), tcpPort));
    DrainingClient client(tcpPort);
    WaitUntil([&] { return outputs.Mqtt().connected && outputs.Nmea().tcpClients == 1; });
    constexpr int kBatch = 50;
    std::uint64_t sentences = outputs.Nmea().sentences;
    std::uint64_t published = outputs.Mqtt().published + outputs.Mqtt().dropped;
    int i = 0;
    for (auto _ : state) {
        for (int k = 0; k < kBatch; ++k) {
            outputs.HandSample(Sample(i++));
        }
        sentences += kBatch;
        published += kBatch;
        while (outputs.Nmea().sentences < sentences ||
               outputs.Mqtt().published + outputs.Mqtt().dropped < published) {
            std::this_thread::yield();
        }
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
    state.counters["mqtt_dropped"] = static_cast<double>(outputs.Mqtt().dropped);
    state.counters["lost"] = static_cast<double>(outputs.Nmea().lost + outputs.Mqtt().lost);
}
BENCHMARK(BM_BothOutputsEndToEnd)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
