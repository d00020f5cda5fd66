#pragma once
// Command line of ventrix-stream:
//   ventrix-stream --format NAME [--rate HZ] [--averaging 0|2|10] [FILE|-]
//   ventrix-stream --format NAME [...] --port N [--baud B] [--parity N|O|E]
//                  [--count N] [--duration S] [network outputs, see NetworkOptions.h]

#include "tools/stream/NetworkOptions.h"

#include <string>
#include <vector>

namespace vx {

struct StreamOptions {
    std::string format;
    double rate = 1;          // output rate in Hz: sizes the gust and averaging windows
    int averaging = 0;        // minutes: 0, 2 or 10
    std::string input = "-";  // file name, "-" for standard input
    bool help = false;
    // Live mode: a serial port instead of a file.
    int port = 0;  // COM number, 0 = none
    int baud = 19200;
    char parity = 'N';       // N, O or E
    long long count = 0;     // stop after this many messages; 0 = no limit
    double duration = 0;     // stop after this many seconds; 0 = no limit
    bool reconnect = false;  // a device that goes away is waited for instead of ending the run
    StreamNetworkOptions network;
};

// Parses the arguments after the program name. Options take their value as the next argument
// or after "=". On a mistake returns false with `error` set.
bool ParseStreamOptions(const std::vector<std::string>& args, StreamOptions& options,
                        std::string& error);

std::string StreamUsage();

}  // namespace vx
