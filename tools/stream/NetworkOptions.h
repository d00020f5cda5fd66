#pragma once
// The network options of ventrix-stream's live mode:
//   --nmea-udp HOST:PORT  --nmea-tcp [ADDR:]PORT  --nmea-rate N  --nmea-unit N|M|K|S
//   --nmea-clients N  --mqtt URL  --mqtt-ca FILE  --mqtt-password-file FILE  --mqtt-rate N
//   --station NAME  --name NAME  --quiet

#include "network/NetworkSettings.h"

#include <string>

namespace vx {

struct StreamNetworkOptions {
    OutputSettings outputs;
    std::string station;  // names the default topic prefix; empty: this computer's name
    bool quiet = false;   // no table on standard output (a service writes to its journal)

    bool Any() const { return outputs.nmea.On() || outputs.mqtt.on; }
};

// True when `arg` is one of the options above (which all but --quiet take a value).
bool IsNetworkOption(const std::string& arg);
bool NetworkOptionTakesValue(const std::string& arg);
// Applies one option; false with `error` set for a bad value.
bool ParseNetworkOption(const std::string& arg, const std::string& value,
                        StreamNetworkOptions& options, std::string& error);
// Checks that hang together once all options are read (a CA file needs mqtts://, ...).
bool CheckNetworkOptions(const StreamNetworkOptions& options, std::string& error);

const char* NetworkUsage();

}  // namespace vx
