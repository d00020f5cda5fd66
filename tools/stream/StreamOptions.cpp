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

bool ReadWhole(const std::string& text, long long& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// The options of the live mode; false with `error` set for a bad value or an unknown option.
bool ParseLiveOption(const std::string& arg, const std::string& value, StreamOptions& options,
                     std::string& error) {
    long long number = 0;
    if (arg == "--port") {
        if (!ReadWhole(value, number) || number < 1 || number > 50) {
            error = "--port wants a COM number from 1 to 50: " + value;
            return false;
        }
        options.port = static_cast<int>(number);
    } else if (arg == "--baud") {
        if (!ReadWhole(value, number) || number <= 0 || number > 4000000) {
            error = "--baud wants a rate in bits per second: " + value;
            return false;
        }
        options.baud = static_cast<int>(number);
    } else if (arg == "--parity") {
        if (value != "N" && value != "O" && value != "E") {
            error = "--parity wants N, O or E: " + value;
            return false;
        }
        options.parity = value[0];
    } else if (arg == "--count") {
        if (!ReadWhole(value, number) || number < 1) {
            error = "--count wants a number of messages, 1 or more: " + value;
            return false;
        }
        options.count = number;
    } else if (arg == "--duration") {
        if (!ReadNumber(value, options.duration) || options.duration <= 0) {
            error = "--duration wants a number of seconds above 0: " + value;
            return false;
        }
    } else {
        error = "unknown option " + arg;
        return false;
    }
    return true;
}

}  // namespace

std::string StreamUsage() {
    return std::string(
               "usage: ventrix-stream --format NAME [--rate HZ] [--averaging 0|2|10] [FILE|-]\n"
               "       ventrix-stream --format NAME [--rate HZ] [--averaging 0|2|10] --port N\n"
               "                      [--baud B] [--parity N|O|E] [--count N] [--duration S]\n"
               "                      [--reconnect]\n"
               "Reads anemometer bytes from FILE or standard input, or live from serial port "
               "COMN,\n"
               "cuts them into messages and writes one tab-separated line of wind values per\n"
               "message. A live run ends after --count messages, after --duration seconds, or on\n"
               "Ctrl-C (exit status 0).\n"
               "When the port's device goes away (an adapter unplugged), a live run says so on\n"
               "standard error and ends with exit status 3; with --reconnect it waits for the\n"
               "device instead, trying the port about once a second, and goes on when it is back.\n"
               "Exit status: 0 done, 1 the port would not open (or an output would not start),\n"
               "2 bad options or input, 3 the device went away.\n") +
           NetworkUsage();
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
        if (arg == "--reconnect") {
            options.reconnect = true;
            continue;
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
        } else if (arg == "--format" || arg == "--rate" || arg == "--averaging" ||
                   arg == "--port" || arg == "--baud" || arg == "--parity" || arg == "--count" ||
                   arg == "--duration" || NetworkOptionTakesValue(arg)) {
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
        } else if (IsNetworkOption(arg)) {
            if (!ParseNetworkOption(arg, value, options.network, error)) {
                return false;
            }
        } else if (!ParseLiveOption(arg, value, options, error)) {
            return false;
        }
    }
    if (options.format.empty()) {
        error = "--format NAME is required";
        return false;
    }
    if (options.port != 0 && haveInput) {
        error = "--port and an input file exclude each other";
        return false;
    }
    if (options.port == 0 && (options.count != 0 || options.duration != 0 || options.reconnect)) {
        error = "--count, --duration and --reconnect need --port";
        return false;
    }
    if (options.port == 0 && (options.network.Any() || options.network.quiet)) {
        error = "network outputs and --quiet need --port";
        return false;
    }
    return CheckNetworkOptions(options.network, error);
}

}  // namespace vx
