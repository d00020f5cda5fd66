#include "network/NetworkStore.h"

#include "app/SettingsStore.h"
#include "platform/NumberText.h"

#include <algorithm>

namespace vx {
namespace {

constexpr const char* kConnectionKeyPrefix = "\\Connection ";

std::string ConnectionKey(std::size_t number) {
    return std::string(kNetworkKey) + kConnectionKeyPrefix + std::to_string(number);
}

// Readers that leave `value` alone unless the file holds a value of the right kind.
void ReadText(const RegistryFile& file, const std::string& key, const char* name,
              std::string& value) {
    const RegistryValue* found = file.Find(key, name);
    if (found != nullptr && found->type == RegistryValue::Type::String) {
        value = found->text;
    }
}

void ReadFlag(const RegistryFile& file, const std::string& key, const char* name, bool& value) {
    const RegistryValue* found = file.Find(key, name);
    if (found != nullptr && found->type == RegistryValue::Type::Dword) {
        value = found->dword != 0;
    }
}

void ReadInteger(const RegistryFile& file, const std::string& key, const char* name, int low,
                 int high, int& value) {
    const RegistryValue* found = file.Find(key, name);
    if (found != nullptr && found->type == RegistryValue::Type::Dword &&
        static_cast<std::int64_t>(found->dword) >= low &&
        static_cast<std::int64_t>(found->dword) <= high) {
        value = static_cast<int>(found->dword);
    }
}

void ReadRate(const RegistryFile& file, const std::string& key, const char* name, double& value) {
    std::string text;
    ReadText(file, key, name, text);
    double rate = 0;
    if (ParseDecimalNumber(text, rate) && rate > 0 && rate <= kMaxMessagesPerSecond) {
        value = rate;
    }
}

void ReadBroker(const RegistryFile& file, BrokerSettings& broker) {
    const std::string key = kNetworkKey;
    ReadText(file, key, "MqttHost", broker.host);
    ReadInteger(file, key, "MqttPort", 1, 65535, broker.port);
    ReadText(file, key, "MqttUser", broker.user);
    ReadText(file, key, "MqttPassword", broker.password);
    ReadFlag(file, key, "MqttTls", broker.tls);
    ReadText(file, key, "MqttCaFile", broker.caFile);
    ReadText(file, key, "MqttTopicPrefix", broker.topicPrefix);
}

ConnectionOutputs ReadConnection(const RegistryFile& file, const std::string& key) {
    ConnectionOutputs outputs;
    NmeaSettings& nmea = outputs.nmea;
    ReadFlag(file, key, "NmeaUdp", nmea.udpOn);
    ReadText(file, key, "NmeaUdpHost", nmea.udpHost);
    ReadInteger(file, key, "NmeaUdpPort", 1, 65535, nmea.udpPort);
    ReadFlag(file, key, "NmeaTcp", nmea.tcpOn);
    ReadText(file, key, "NmeaTcpAddress", nmea.tcpAddress);
    ReadInteger(file, key, "NmeaTcpPort", 1, 65535, nmea.tcpPort);
    ReadInteger(file, key, "NmeaClients", 1, kMaxTcpClientsLimit, nmea.maxClients);
    ReadRate(file, key, "NmeaRate", nmea.sentencesPerSecond);
    std::string unit;
    ReadText(file, key, "NmeaUnit", unit);
    ParseNmeaSpeedUnit(unit, nmea.unit);
    ReadFlag(file, key, "Mqtt", outputs.mqtt.on);
    ReadRate(file, key, "MqttRate", outputs.mqtt.samplesPerSecond);
    return outputs;
}

void WriteConnection(RegistryFile& file, const std::string& key, const std::string& name,
                     const ConnectionOutputs& outputs) {
    const NmeaSettings& nmea = outputs.nmea;
    file.SetString(key, "Name", name);
    file.SetDword(key, "NmeaUdp", nmea.udpOn ? 1 : 0);
    file.SetString(key, "NmeaUdpHost", nmea.udpHost);
    file.SetDword(key, "NmeaUdpPort", static_cast<std::uint32_t>(nmea.udpPort));
    file.SetDword(key, "NmeaTcp", nmea.tcpOn ? 1 : 0);
    file.SetString(key, "NmeaTcpAddress", nmea.tcpAddress);
    file.SetDword(key, "NmeaTcpPort", static_cast<std::uint32_t>(nmea.tcpPort));
    file.SetDword(key, "NmeaClients", static_cast<std::uint32_t>(nmea.maxClients));
    file.SetString(key, "NmeaRate", FormatGeneral(nmea.sentencesPerSecond));
    file.SetString(key, "NmeaUnit", std::string(1, static_cast<char>(nmea.unit)));
    file.SetDword(key, "Mqtt", outputs.mqtt.on ? 1 : 0);
    file.SetString(key, "MqttRate", FormatGeneral(outputs.mqtt.samplesPerSecond));
}

}  // namespace

ConnectionOutputs NetworkConfiguration::For(const std::string& name) const {
    for (const auto& [stored, outputs] : connections) {
        if (stored == name) {
            return outputs;
        }
    }
    return {};
}

void NetworkConfiguration::Set(const std::string& name, const ConnectionOutputs& outputs) {
    std::erase_if(connections, [&](const auto& entry) { return entry.first == name; });
    connections.insert(connections.begin(), {name, outputs});
    if (connections.size() > kMaxStoredConnections) {
        connections.resize(kMaxStoredConnections);
    }
}

void ReadNetworkConfiguration(const RegistryFile& file, NetworkConfiguration& configuration) {
    ReadBroker(file, configuration.broker);
    for (std::size_t number = 1; number <= kMaxStoredConnections; ++number) {
        const std::string key = ConnectionKey(number);
        const RegistryValue* name = file.Find(key, "Name");
        if (name == nullptr || name->type != RegistryValue::Type::String) {
            continue;
        }
        // A name written twice (by hand) counts once, as its first key says.
        if (std::none_of(configuration.connections.begin(), configuration.connections.end(),
                         [&](const auto& entry) { return entry.first == name->text; })) {
            configuration.connections.emplace_back(name->text, ReadConnection(file, key));
        }
    }
}

void WriteNetworkConfiguration(RegistryFile& file, const NetworkConfiguration& configuration) {
    const std::string prefix = std::string(kNetworkKey) + kConnectionKeyPrefix;
    std::vector<std::string> old;
    for (const RegistryFile::Key& key : file.Keys()) {
        if (key.path.compare(0, prefix.size(), prefix) == 0) {
            old.push_back(key.path);
        }
    }
    for (const std::string& path : old) {
        file.RemoveKey(path);
    }
    const BrokerSettings& broker = configuration.broker;
    const std::string key = kNetworkKey;
    file.SetString(key, "MqttHost", broker.host);
    file.SetDword(key, "MqttPort", static_cast<std::uint32_t>(broker.port));
    file.SetString(key, "MqttUser", broker.user);
    file.SetString(key, "MqttPassword", broker.password);
    file.SetDword(key, "MqttTls", broker.tls ? 1 : 0);
    file.SetString(key, "MqttCaFile", broker.caFile);
    file.SetString(key, "MqttTopicPrefix", broker.topicPrefix);
    std::size_t number = 0;
    for (const auto& [name, outputs] : configuration.connections) {
        if (++number > kMaxStoredConnections) {
            break;
        }
        WriteConnection(file, ConnectionKey(number), name, outputs);
    }
}

NetworkConfiguration LoadNetworkConfiguration(const std::string& path) {
    NetworkConfiguration configuration;
    ReadNetworkConfiguration(ReadSettingsFile(path), configuration);
    return configuration;
}

bool SaveNetworkConfiguration(const std::string& path, const NetworkConfiguration& configuration) {
    RegistryFile file = ReadSettingsFile(path);
    WriteNetworkConfiguration(file, configuration);
    return WriteSettingsFile(path, file);
}

}  // namespace vx
