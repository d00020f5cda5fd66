// ventrix-stream as an unattended station runs it: a simulated instrument on a pseudo-terminal,
// NMEA sentences out over UDP and TCP, JSON out to a real broker, each with the values of the
// stream's own table; the broker's last will when the station dies.

#include "network/TcpServer.h"
#include "tests/network/NetworkTestSupport.h"
#include "tests/support/PortsFolder.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <cctype>
#include <cmath>
#include <sstream>
#include <thread>

namespace vx {
namespace {

using namespace test;

const std::string kStream = BuiltProgram("tools/stream/ventrix-stream");

// One row of the stream's table: the values after one message.
struct Row {
    bool valid = false;
    double magnitude = 0;
    double direction = 0;
    double u = 0;
    double v = 0;
    double gust = 0;
};

std::vector<Row> ReadTable(const std::string& text) {
    std::vector<Row> rows;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');) {
            cells.push_back(cell);
        }
        if (cells.size() < 9) {
            continue;
        }
        rows.push_back({cells[2] == "1", std::stod(cells[3]), std::stod(cells[4]),
                        std::stod(cells[5]), std::stod(cells[6]), std::stod(cells[8])});
    }
    return rows;
}

std::vector<Row> ValidRows(const std::vector<Row>& rows) {
    std::vector<Row> valid;
    for (const Row& row : rows) {
        if (row.valid) {
            valid.push_back(row);
        }
    }
    return valid;
}

// True when the MWV sentence carries the row's values: the angle to 0.1 degree, the speed (m/s)
// to 0.01.
bool MwvOf(const std::string& sentence, const Row& row) {
    const NmeaFields parsed = ParseSentence(sentence);
    if (!parsed.checksumOk || sentence.size() > 82 || parsed.fields.size() != 6 ||
        parsed.fields[0] != "WIMWV" || parsed.fields[2] != "R" || parsed.fields[4] != "M" ||
        parsed.fields[5] != "A") {
        return false;
    }
    double direction = std::round(row.direction * 10) / 10;
    if (direction >= 360) {
        direction -= 360;
    }
    return std::abs(std::stod(parsed.fields[1]) - direction) < 1e-9 &&
           std::abs(std::stod(parsed.fields[3]) - row.magnitude) <= 0.0050001;
}

bool JsonOf(const std::string& json, const Row& row) {
    return std::abs(JsonNumber(json, "speed").value_or(-1) - row.magnitude) < 1e-6 &&
           std::abs(JsonNumber(json, "direction").value_or(-1) - row.direction) < 1e-6 &&
           std::abs(JsonNumber(json, "u").value_or(-1e9) - row.u) < 1e-6 &&
           std::abs(JsonNumber(json, "v").value_or(-1e9) - row.v) < 1e-6;
}

// Every message received stands for one of the rows, in the rows' order. (Two messages that the
// serial link delivers within one rate-limit interval give one message, not two.)
template <class Matches>
::testing::AssertionResult FollowRows(const std::vector<std::string>& received,
                                      const std::vector<Row>& rows, Matches matches) {
    std::size_t row = 0;
    for (const std::string& message : received) {
        while (row < rows.size() && !matches(message, rows[row])) {
            ++row;
        }
        if (row == rows.size()) {
            return ::testing::AssertionFailure() << "no row, in order, for " << message;
        }
        ++row;
    }
    return ::testing::AssertionSuccess();
}

// A run of ventrix-stream on a loaded machine: generous, it ends by itself well before.
constexpr std::chrono::seconds kRunDeadline{120};

// The number before `label` in the tally the stream writes when its outputs stop ("NMEA: 57
// sentences, 57 UDP datagrams, ..."); -1 when it is not there.
long long Tallied(const std::string& tally, const std::string& label) {
    const std::size_t at = tally.find(label);
    if (at == std::string::npos) {
        return -1;
    }
    std::size_t begin = at;
    while (begin > 0 && std::isdigit(static_cast<unsigned char>(tally[begin - 1]))) {
        --begin;
    }
    return begin == at ? -1 : std::stoll(tally.substr(begin, at - begin));
}

class StreamNetworkTest : public ::testing::Test {
protected:
    PortsFolder ports_;  // children find it through VENTRIX_PORTS_DIR
    TempFolder files_;

    std::vector<std::string> StreamArguments(int comNumber, const std::vector<std::string>& more) {
        std::vector<std::string> arguments = {
            kStream, "--format", "VARN_UV_TWO_AXIS",        "--rate",
            "10",    "--port",   std::to_string(comNumber), "--baud",
            "9600"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    }
};

TEST_F(StreamNetworkTest, SentencesAndJsonCarryTheValuesOfTheStreamsTable) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port(), "station/#");
    ASSERT_TRUE(subscriber.Connected());
    UdpListener udp;
    const int tcpPort = FreePort();
    SimProcess sim(ports_, 21, {"--format", "VARN_UV_TWO_AXIS", "--rate", "10", "--seed", "5"});
    ASSERT_TRUE(sim.Ready());
    sim.Signal(SIGSTOP);

    const std::string table = files_ / "table";
    const std::string errors = files_ / "errors";
    ChildProcess stream(
        StreamArguments(
            21, {"--count", "60", "--nmea-udp", "127.0.0.1:" + std::to_string(udp.Port()),
                 "--nmea-tcp", std::to_string(tcpPort), "--nmea-rate", "100", "--nmea-unit", "M",
                 "--mqtt", "mqtt://127.0.0.1:" + std::to_string(broker.Port()) + "/station/one",
                 "--mqtt-rate", "100", "--name", "mast"}),
        {.outputPath = table, .errorPath = errors});
    std::unique_ptr<TcpClient> client;
    const bool clientIn = WaitUntil([&] {
        client = std::make_unique<TcpClient>(tcpPort);
        return client->Connected();
    });
    // The instrument waits until the station is online with the broker, so that no sample
    // finds it still connecting (those would be dropped, by design).
    const bool online = subscriber.WaitFor("station/one/mast/status", "online", kRunDeadline);
    sim.Signal(SIGCONT);
    ASSERT_TRUE(clientIn);
    ASSERT_TRUE(online);
    ASSERT_EQ(stream.Wait(kRunDeadline), 0) << ReadFile(errors);
    const std::string tally = ReadFile(errors);

    const std::vector<Row> rows = ValidRows(ReadTable(ReadFile(table)));
    ASSERT_GE(rows.size(), 50u);
    // Two messages that the serial link delivers within one rate-limit interval give one
    // sentence and one JSON message; a loaded machine bunches some, never most.
    const std::size_t mostRows = rows.size() / 2;

    // UDP: an MWV per valid message, in order, each with that message's values.
    std::vector<std::string> datagrams;
    while (const auto datagram = udp.Receive(std::chrono::milliseconds(500))) {
        datagrams.push_back(*datagram);
    }
    std::vector<std::string> mwv;
    for (const std::string& datagram : datagrams) {
        if (datagram.compare(0, 6, "$WIMWV") == 0) {
            // A loaded machine can hold the instrument long enough for the station to call it
            // quiet and say so with void sentences; those stand for no row.
            if (ParseSentence(datagram).fields.back() != "V") {
                mwv.push_back(datagram);
            }
        } else {
            EXPECT_EQ(datagram.compare(0, 6, "$WIXDR"), 0) << datagram;
            EXPECT_TRUE(ParseSentence(datagram).checksumOk) << datagram;
        }
    }
    // Every datagram the station sent arrived, and each MWV stands for a row, in order.
    EXPECT_EQ(static_cast<long long>(datagrams.size()), Tallied(tally, " UDP datagrams")) << tally;
    EXPECT_GE(mwv.size(), mostRows);
    EXPECT_TRUE(FollowRows(mwv, rows, MwvOf));

    // TCP: the same sentences.
    std::vector<std::string> lines;
    while (const auto line = client->ReadLine(std::chrono::milliseconds(500))) {
        if (line->compare(0, 6, "$WIMWV") == 0 && ParseSentence(*line).fields.back() != "V") {
            lines.push_back(*line);
        }
    }
    // It came in before the instrument was let go: every one.
    ASSERT_EQ(lines.size(), mwv.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i], mwv[i]);
    }

    // MQTT: one JSON message per valid message, with its exact values; then "offline".
    ASSERT_TRUE(subscriber.WaitFor("station/one/mast/status", "offline"));
    const auto samples = subscriber.On("station/one/mast/sample");
    std::vector<std::string> json;
    for (const MqttMessage& sample : samples) {
        json.push_back(sample.payload);
    }
    EXPECT_GE(json.size(), mostRows);
    EXPECT_TRUE(FollowRows(json, rows, JsonOf));
    const auto statistics = subscriber.On("station/one/mast/statistics");
    ASSERT_FALSE(statistics.empty());
    // Nothing published went missing, and nothing was dropped on the way to the broker.
    const std::string mqttTally = tally.substr(std::min(tally.find("MQTT:"), tally.size()));
    EXPECT_EQ(static_cast<long long>(samples.size() + statistics.size()),
              Tallied(mqttTally, " messages published"))
        << tally;
    EXPECT_EQ(Tallied(mqttTally, " dropped"), 0) << tally;
    const auto gust = JsonNumber(statistics.back().payload, "gust");
    ASSERT_TRUE(gust);
    EXPECT_GT(*gust, 0);
}

TEST_F(StreamNetworkTest, TheBrokerSaysOfflineWhenTheStationDies) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port(), "ventrix/#");
    ASSERT_TRUE(subscriber.Connected());
    SimProcess sim(ports_, 22, {"--format", "VARN_UV_TWO_AXIS", "--rate", "10"});
    ASSERT_TRUE(sim.Ready());
    ChildProcess stream(
        StreamArguments(22, {"--mqtt", "mqtt://127.0.0.1:" + std::to_string(broker.Port()),
                             "--station", "mast-7", "--quiet"}));
    ASSERT_TRUE(subscriber.WaitFor("ventrix/mast-7/COM22/status", "online"));
    ASSERT_TRUE(WaitUntil([&] { return !subscriber.On("ventrix/mast-7/COM22/sample").empty(); }));
    EXPECT_TRUE(stream.Output().empty());  // --quiet

    stream.Signal(SIGKILL);
    EXPECT_TRUE(subscriber.WaitFor("ventrix/mast-7/COM22/status", "offline"));
}

TEST_F(StreamNetworkTest, TheStatusSaysWhenTheDeviceIsLostOrQuietAndWhenItIsBack) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port(), "ventrix/#");
    ASSERT_TRUE(subscriber.Connected());
    UdpListener udp;
    const std::string topic = "ventrix/mast-9/COM26/status";
    auto first = std::make_unique<SimProcess>(
        ports_, 26,
        std::vector<std::string>{"--format", "VARN_UV_TWO_AXIS", "--rate", "10", "--vanish-after",
                                 "5"});
    ASSERT_TRUE(first->Ready());
    const std::string errors = files_ / "errors";
    ChildProcess stream(
        StreamArguments(26, {"--reconnect", "--quiet", "--station", "mast-9", "--mqtt",
                             "mqtt://127.0.0.1:" + std::to_string(broker.Port()), "--nmea-udp",
                             "127.0.0.1:" + std::to_string(udp.Port())}),
        {.errorPath = errors});

    // The device goes away: said at once, and kept by the broker for whoever asks later.
    ASSERT_TRUE(subscriber.WaitForStates(topic, {"online", "port lost"})) << ReadFile(errors);
    {
        Subscriber late(broker.Port(), topic);
        ASSERT_TRUE(late.WaitFor(topic, "port lost"));
        EXPECT_TRUE(late.On(topic).front().retained);
    }
    // A plotter sees the wind as missing: void sentences.
    EXPECT_TRUE(WaitUntil([&] {
        const auto datagram = udp.Receive(std::chrono::seconds(2));
        return datagram && ParseSentence(*datagram).fields.back() == "V";
    }));

    // A new instrument on the same port number, which falls quiet for a while after a start.
    first.reset();
    SimProcess second(ports_, 26,
                      {"--format", "VARN_UV_TWO_AXIS", "--rate", "10", "--silence-after", "3",
                       "--silence-for", "8"});
    ASSERT_TRUE(second.Ready());
    ASSERT_TRUE(
        subscriber.WaitForStates(topic, {"online", "port lost", "online", "no data", "online"}))
        << ReadFile(errors);
    stream.Signal(SIGTERM);
    EXPECT_EQ(stream.Wait(kRunDeadline), 0) << ReadFile(errors);
    EXPECT_TRUE(subscriber.WaitForStates(
        topic, {"online", "port lost", "online", "no data", "online", "offline"}));
    EXPECT_EQ(subscriber.States(topic).size(), 6u);
}

TEST_F(StreamNetworkTest, AClientThatStopsReadingDoesNotSlowTheStation) {
    SimProcess sim(ports_, 23, {"--format", "NMEA_POLAR", "--rate", "100", "--baud", "38400"});
    ASSERT_TRUE(sim.Ready());
    // Held still until both clients are in, so the reader can be owed every sentence.
    sim.Signal(SIGSTOP);
    UdpListener udp;
    const int tcpPort = FreePort();
    const std::string table = files_ / "table";
    const std::string errors = files_ / "errors";
    std::vector<std::string> arguments = StreamArguments(
        23, {"--count", "600", "--nmea-tcp", "127.0.0.1:" + std::to_string(tcpPort), "--nmea-udp",
             "127.0.0.1:" + std::to_string(udp.Port()), "--nmea-rate", "100"});
    arguments[2] = "NMEA_POLAR";
    arguments[4] = "100";
    arguments[8] = "38400";
    ChildProcess stream(arguments, {.outputPath = table, .errorPath = errors});
    std::unique_ptr<TcpClient> stuck;
    const bool stuckIn = WaitUntil([&] {
        stuck = std::make_unique<TcpClient>(tcpPort, 2048);  // and never reads
        return stuck->Connected();
    });
    TcpClient reader(tcpPort);
    sim.Signal(SIGCONT);
    ASSERT_TRUE(stuckIn);
    ASSERT_TRUE(reader.Connected());

    // The datagrams, as a reference of everything sent: read all along, as more come than a
    // socket's buffer holds.
    std::atomic<bool> streamEnded{false};
    std::vector<std::string> datagrams;
    std::thread udpReader([&] {
        for (;;) {
            const auto datagram = udp.Receive(std::chrono::milliseconds(500));
            if (datagram) {
                datagrams.push_back(*datagram);
            } else if (streamEnded) {
                return;
            }
        }
    });
    // The reader gets every sentence up to the end of the run, when the station closes it.
    std::vector<std::string> lines;
    while (const auto line = reader.ReadLine(std::chrono::seconds(60))) {
        EXPECT_TRUE(ParseSentence(*line).checksumOk) << *line;
        lines.push_back(*line);
    }
    const int status = stream.Wait(kRunDeadline);
    streamEnded = true;
    udpReader.join();
    ASSERT_EQ(status, 0) << ReadFile(errors);
    EXPECT_EQ(ReadTable(ReadFile(table)).size(), 600u);

    const std::string tally = ReadFile(errors);
    ASSERT_EQ(static_cast<long long>(datagrams.size()), Tallied(tally, " UDP datagrams")) << tally;
    EXPECT_GT(datagrams.size(), 150u);
    // The same sentences as the datagrams, the last one included; at most the few void ones a
    // slow start can send before the reader was taken in may be missing.
    ASSERT_FALSE(lines.empty());
    ASSERT_LE(lines.size(), datagrams.size());
    EXPECT_GE(lines.size() + 5, datagrams.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[lines.size() - 1 - i], datagrams[datagrams.size() - 1 - i]) << i;
    }
}

TEST_F(StreamNetworkTest, AStationWhosePortOrOutputCannotOpenNeverSaysOnline) {
    Broker broker;
    ASSERT_TRUE(broker.Start());
    Subscriber subscriber(broker.Port(), "ventrix/#");
    ASSERT_TRUE(subscriber.Connected());
    const std::string mqtt = "mqtt://127.0.0.1:" + std::to_string(broker.Port());
    const std::string output = files_ / "output";
    // No device behind COM24.
    ChildProcess missing(StreamArguments(24, {"--mqtt", mqtt, "--station", "s"}),
                         {.outputPath = output, .errorsToOutput = true});
    EXPECT_EQ(missing.Wait(kRunDeadline), 1);
    EXPECT_NE(ReadFile(output).find("COM24"), std::string::npos) << ReadFile(output);

    // A TCP port that another program holds.
    SimProcess sim(ports_, 25, {"--format", "VARN_UV_TWO_AXIS", "--rate", "10"});
    ASSERT_TRUE(sim.Ready());
    TcpServer holder;
    TcpServerOptions options;
    options.port = 0;
    std::string error;
    ASSERT_TRUE(holder.Start(options, error));
    ChildProcess held(StreamArguments(25, {"--mqtt", mqtt, "--station", "s", "--nmea-tcp",
                                           std::to_string(holder.Port())}),
                      {.outputPath = output, .errorsToOutput = true});
    EXPECT_EQ(held.Wait(kRunDeadline), 1);
    EXPECT_NE(ReadFile(output).find(std::to_string(holder.Port())), std::string::npos)
        << ReadFile(output);
    // Give a stray "online" every chance to arrive before saying there was none.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(subscriber.On("ventrix/s/COM24/status").empty());
    EXPECT_TRUE(subscriber.On("ventrix/s/COM25/status").empty())
        << subscriber.On("ventrix/s/COM25/status").front().payload;
}

TEST_F(StreamNetworkTest, MistakesInTheNetworkOptionsExitWithTwoAndSayWhy) {
    struct Case {
        std::vector<std::string> options;
        std::string said;
    };
    const std::vector<Case> cases = {
        {{"--port", "3", "--nmea-udp", "bad host:10110"}, "bad host"},
        {{"--port", "3", "--nmea-udp", "plotter"}, "HOST:PORT"},
        {{"--port", "3", "--nmea-tcp", "boat.local:10110"}, "address of this computer"},
        {{"--port", "3", "--nmea-tcp", "70000"}, "65535"},
        {{"--port", "3", "--nmea-rate", "0"}, "--nmea-rate"},
        {{"--port", "3", "--nmea-unit", "F"}, "--nmea-unit"},
        {{"--port", "3", "--mqtt", "tcp://broker"}, "mqtt://"},
        {{"--port", "3", "--mqtt", "mqtt://broker/a/#"}, "\"#\""},
        {{"--port", "3", "--mqtt", "mqtt://broker", "--mqtt-ca", "/etc/ca.pem"}, "mqtts://"},
        {{"--port", "3", "--mqtt-password-file", "/nonexistent"}, "/nonexistent"},
        {{"--nmea-udp", "127.0.0.1:10110", "-"}, "need --port"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {kStream, "--format", "NMEA_POLAR"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        ChildProcess stream(arguments, {.errorsToOutput = true});
        EXPECT_EQ(stream.Wait(kRunDeadline), 2) << c.options[2];
        EXPECT_NE(stream.Output().find(c.said), std::string::npos) << stream.Output();
    }
}

}  // namespace
}  // namespace vx
