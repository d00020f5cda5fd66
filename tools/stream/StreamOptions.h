#pragma once
// Command line of ventrix-stream:
//   ventrix-stream --format NAME [--rate HZ] [--averaging 0|2|10] [FILE|-]

#include <string>
#include <vector>

namespace vx {

struct StreamOptions {
    std::string format;
    double rate = 1;          // output rate in Hz: sizes the gust and averaging windows
    int averaging = 0;        // minutes: 0, 2 or 10
    std::string input = "-";  // file name, "-" for standard input
    bool help = false;
};

// Parses the arguments after the program name. Options take their value as the next argument
// or after "=". On a mistake returns false with `error` set.
bool ParseStreamOptions(const std::vector<std::string>& args, StreamOptions& options,
                        std::string& error);

const char* StreamUsage();

}  // namespace vx
