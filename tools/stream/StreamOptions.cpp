#include "tools/stream/StreamOptions.h"

#include <charconv>
#include <cmath>

namespace vx {

namespace {

bool ReadNumber(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

}  // namespace

const char* StreamUsage() {
    return "usage: ventrix-stream --format NAME [--rate HZ] [--averaging 0|2|10] [FILE|-]\n"
           "Reads anemometer bytes from FILE or standard input, cuts them into messages and\n"
           "writes one tab-separated line of wind values per message.\n";
}

bool ParseStreamOptions(const std::vector<std::string>& args, StreamOptions& options,
                        std::string& error) {
    bool haveInput = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            return true;
        }
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (haveInput) {
                error = "more than one input: " + arg;
                return false;
            }
            options.input = arg;
            haveInput = true;
            continue;
        }
        std::string value;
        const std::size_t equals = arg.find('=');
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg.resize(equals);
        } else if (arg == "--format" || arg == "--rate" || arg == "--averaging") {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (arg == "--format") {
            options.format = value;
        } else if (arg == "--rate") {
            if (!ReadNumber(value, options.rate) || options.rate < 0) {
                error = "--rate wants a number of messages per second, 0 or more: " + value;
                return false;
            }
        } else if (arg == "--averaging") {
            if (value != "0" && value != "2" && value != "10") {
                error = "--averaging wants 0, 2 or 10 (minutes): " + value;
                return false;
            }
            options.averaging = std::stoi(value);
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (options.format.empty()) {
        error = "--format NAME is required";
        return false;
    }
    return true;
}

}  // namespace vx
