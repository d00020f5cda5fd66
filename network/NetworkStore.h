#pragma once
// The network outputs' settings, kept in the program's settings file beside the four values of
// the main key (which they do not touch): the broker under ...\ventrix\Network, and the outputs
// of each connection, by its name, under ...\ventrix\Network\Connection 1, 2, ... so that a
// connection made again with the same name gets its outputs back. Values that are missing or
// of the wrong type keep their defaults, each on its own. The file is readable by its owner
// only, since it may hold the broker's password.

#include "app/RegistryFile.h"
#include "network/NetworkSettings.h"

#include <string>
#include <utility>
#include <vector>

namespace vx {

inline constexpr const char* kNetworkKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Varn Instruments\\ventrix\\Network";
inline constexpr std::size_t kMaxStoredConnections = 50;

// What one connection sends where; the broker is shared.
struct ConnectionOutputs {
    NmeaSettings nmea;
    MqttSettings mqtt;

    bool operator==(const ConnectionOutputs&) const = default;
};

struct NetworkConfiguration {
    BrokerSettings broker;
    // By connection name, the most recently set first.
    std::vector<std::pair<std::string, ConnectionOutputs>> connections;

    // The outputs kept for that name, or the defaults (everything off).
    ConnectionOutputs For(const std::string& name) const;
    // Keeps the outputs for that name, first in the list; the oldest beyond the limit go.
    void Set(const std::string& name, const ConnectionOutputs& outputs);

    bool operator==(const NetworkConfiguration&) const = default;
};

void ReadNetworkConfiguration(const RegistryFile& file, NetworkConfiguration& configuration);
// Replaces every network key of the file; the rest of the file stays as it was.
void WriteNetworkConfiguration(RegistryFile& file, const NetworkConfiguration& configuration);

NetworkConfiguration LoadNetworkConfiguration(const std::string& path);
bool SaveNetworkConfiguration(const std::string& path, const NetworkConfiguration& configuration);

}  // namespace vx
