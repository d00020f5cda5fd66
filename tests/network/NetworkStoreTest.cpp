// The network settings in the program's settings file: kept beside the four values without
// disturbing them or their reading rules, read value by value, and private to their owner.

#include "app/SettingsStore.h"
#include "network/NetworkStore.h"
#include "tests/network/NetworkTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

namespace vx {
namespace {

using test::ReadFile;
using test::TempFolder;

NetworkConfiguration Sample() {
    NetworkConfiguration configuration;
    configuration.broker.host = "broker.example.org";
    configuration.broker.port = 8883;
    configuration.broker.user = "station";
    configuration.broker.password = "p\"a\\ss=word";
    configuration.broker.tls = true;
    configuration.broker.caFile = "/etc/ventrix/ca.pem";
    configuration.broker.topicPrefix = "site/north";
    ConnectionOutputs mast;
    mast.nmea.udpOn = true;
    mast.nmea.udpHost = "192.168.1.255";
    mast.nmea.udpPort = 2000;
    mast.nmea.tcpOn = true;
    mast.nmea.tcpAddress = "0.0.0.0";
    mast.nmea.tcpPort = 10111;
    mast.nmea.maxClients = 3;
    mast.nmea.sentencesPerSecond = 2.5;
    mast.nmea.unit = NmeaSpeedUnit::Kph;
    mast.mqtt.on = true;
    mast.mqtt.samplesPerSecond = 10;
    configuration.Set("Bow [fore]", ConnectionOutputs{});
    configuration.Set("Mast \\ top", mast);
    return configuration;
}

TEST(NetworkStore, EverythingComesBackAndTheFourValuesStayAsTheyWere) {
    TempFolder folder;
    const std::string path = folder.Path() + "/ventrix.reg";
    const StoredSettings four{3, 0, 5, "/home/u/Wind Log.txt"};
    ASSERT_TRUE(SaveSettings(path, four));
    ASSERT_TRUE(SaveNetworkConfiguration(path, Sample()));

    EXPECT_EQ(LoadNetworkConfiguration(path), Sample());
    StoredSettings read;
    LoadSettings(path, read);
    EXPECT_EQ(read, four);

    // The program's own save at its close keeps the network keys.
    ASSERT_TRUE(SaveSettings(path, StoredSettings{1, 1, 2, "/x"}));
    EXPECT_EQ(LoadNetworkConfiguration(path), Sample());
}

TEST(NetworkStore, TheFileIsReadableByItsOwnerOnly) {
    TempFolder folder;
    const std::string path = folder.Path() + "/ventrix.reg";
    std::ofstream(path) << "REGEDIT4\n";
    chmod(path.c_str(), 0644);  // as another program might have left it
    ASSERT_TRUE(SaveNetworkConfiguration(path, Sample()));
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_NE(ReadFile(path).find("MqttPassword"), std::string::npos);
}

TEST(NetworkStore, EachValueThatIsMissingOrWrongKeepsItsDefaultAlone) {
    const RegistryFile file = RegistryFile::Parse(
        "REGEDIT4\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varn Instruments\\ventrix\\Network]\n"
        "\"MqttHost\"=dword:00000001\n"
        "\"MqttPort\"=dword:00010000\n"
        "\"MqttTopicPrefix\"=\"site\"\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varn Instruments\\ventrix\\Network\\Connection 2]\n"
        "\"Name\"=\"Mast\"\n"
        "\"NmeaUdp\"=\"yes\"\n"
        "\"NmeaTcp\"=dword:00000001\n"
        "\"NmeaClients\"=dword:00000fff\n"
        "\"NmeaRate\"=\"fast\"\n"
        "\"NmeaUnit\"=\"F\"\n"
        "\"MqttRate\"=\"4\"\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varn Instruments\\ventrix\\Network\\Connection 3]\n"
        "\"NmeaTcp\"=dword:00000001\n");
    NetworkConfiguration configuration;
    ReadNetworkConfiguration(file, configuration);
    const BrokerSettings defaults;
    EXPECT_EQ(configuration.broker.host, defaults.host);  // a number is no host
    EXPECT_EQ(configuration.broker.port, defaults.port);  // 65536 is no port
    EXPECT_EQ(configuration.broker.topicPrefix, "site");  // read though others failed
    ASSERT_EQ(configuration.connections.size(), 1u);      // a key without a name is no one's
    const ConnectionOutputs mast = configuration.For("Mast");
    const NmeaSettings nmeaDefaults;
    EXPECT_FALSE(mast.nmea.udpOn);
    EXPECT_TRUE(mast.nmea.tcpOn);
    EXPECT_EQ(mast.nmea.maxClients, nmeaDefaults.maxClients);
    EXPECT_EQ(mast.nmea.sentencesPerSecond, nmeaDefaults.sentencesPerSecond);
    EXPECT_EQ(mast.nmea.unit, nmeaDefaults.unit);
    EXPECT_EQ(mast.mqtt.samplesPerSecond, 4);
    EXPECT_EQ(configuration.For("Nobody"), ConnectionOutputs{});
}

TEST(NetworkStore, KeepsTheLatestConnectionsAndDropsKeysOfOldOnes) {
    NetworkConfiguration configuration;
    for (int i = 0; i < 60; ++i) {
        ConnectionOutputs outputs;
        outputs.nmea.udpPort = 1000 + i;
        configuration.Set("Anemometer " + std::to_string(i), outputs);
    }
    configuration.Set("Anemometer 3", configuration.For("Anemometer 3"));
    ASSERT_EQ(configuration.connections.size(), kMaxStoredConnections);
    EXPECT_EQ(configuration.connections.front().first, "Anemometer 3");
    EXPECT_EQ(configuration.For("Anemometer 59").nmea.udpPort, 1059);
    EXPECT_EQ(configuration.For("Anemometer 10").nmea.udpPort, NmeaSettings{}.udpPort);  // gone

    RegistryFile file;
    WriteNetworkConfiguration(file, configuration);
    NetworkConfiguration fewer;
    fewer.Set("Only", ConnectionOutputs{});
    WriteNetworkConfiguration(file, fewer);
    NetworkConfiguration read;
    ReadNetworkConfiguration(file, read);
    EXPECT_EQ(read.connections.size(), 1u);
}

}  // namespace
}  // namespace vx
