#include "tools/sim/SimOptions.h"

#include <charconv>
#include <functional>
#include <map>

#include "platform/NumberText.h"
#include "tools/sim/PortsFolder.h"
#include "tools/sim/PtyLink.h"

namespace vx::sim {

namespace {

bool ReadDouble(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool ReadUnsigned(const std::string& text, std::uint64_t& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

using Setter = std::function<bool(const std::string&, SimOptions&)>;

Setter NonNegative(double SimOptions::*member) {
    return [member](const std::string& text, SimOptions& options) {
        double value = 0;
        if (!ReadDouble(text, value) || value < 0) {
            return false;
        }
        options.*member = value;
        return true;
    };
}

Setter WindValue(double WindSettings::*member, double low, double high) {
    return [member, low, high](const std::string& text, SimOptions& options) {
        double value = 0;
        if (!ReadDouble(text, value) || value < low || value > high) {
            return false;
        }
        options.wind.*member = value;
        return true;
    };
}

Setter Probability(FaultRule FaultSettings::*rule) {
    return [rule](const std::string& text, SimOptions& options) {
        double value = 0;
        if (!ReadDouble(text, value) || value < 0 || value > 1) {
            return false;
        }
        (options.faults.*rule).probability = value;
        return true;
    };
}

Setter Every(FaultRule FaultSettings::*rule) {
    return [rule](const std::string& text, SimOptions& options) {
        std::uint64_t value = 0;
        if (!ReadUnsigned(text, value) || value == 0) {
            return false;
        }
        (options.faults.*rule).every = value;
        return true;
    };
}

bool SetFormat(const std::string& text, SimOptions& options) {
    auto format = FindSimFormat(text);
    if (!format) {
        return false;
    }
    options.format = *format;
    return true;
}

bool SetRate(const std::string& text, SimOptions& options) {
    double value = 0;
    if (!ReadDouble(text, value)) {
        return false;
    }
    for (double rate : OutputRates()) {
        if (rate == value) {
            options.rate = value;
            return true;
        }
    }
    return false;
}

bool SetBaud(const std::string& text, SimOptions& options) {
    std::uint64_t value = 0;
    unsigned speed = 0;
    if (!ReadUnsigned(text, value) || value > 4000000 ||
        !BaudToSpeed(static_cast<std::uint32_t>(value), speed)) {
        return false;
    }
    options.baud = static_cast<std::uint32_t>(value);
    return true;
}

bool SetPort(const std::string& text, SimOptions& options) {
    std::uint64_t value = 0;
    if (!ReadUnsigned(text, value) || value < 1 || value > kLastPort) {
        return false;
    }
    options.port = static_cast<int>(value);
    return true;
}

bool SetUnits(const std::string& text, SimOptions& options) {
    if (text.size() != 1 || std::string("MNPKF").find(text[0]) == std::string::npos) {
        return false;
    }
    options.message.units = text[0];
    return true;
}

bool SetModeChar(const std::string& text, SimOptions& options) {
    // The search reads only printable characters after "RESET-".
    if (text.size() != 1 || text[0] < 0x21 || text[0] > 0x7E) {
        return false;
    }
    options.modeChar = text[0];
    return true;
}

bool SetIdentifier(const std::string& text, SimOptions& options) {
    // A comma would add a field; control characters would break the framing.
    for (char c : text) {
        if (c == ',' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return false;
        }
    }
    options.message.identifier = text;
    return true;
}

bool SetCount(const std::string& text, SimOptions& options) {
    return ReadUnsigned(text, options.count) && options.count > 0;
}

bool SetSeed(const std::string& text, SimOptions& options) {
    return ReadUnsigned(text, options.seed);
}

bool SetText(std::string SimOptions::*member, const std::string& text, SimOptions& options) {
    if (text.empty()) {
        return false;
    }
    options.*member = text;
    return true;
}

const std::map<std::string, Setter>& ValueOptions() {
    static const std::map<std::string, Setter> options = {
        {"--port", SetPort},
        {"--ports-dir", [](const std::string& t,
                           SimOptions& o) { return SetText(&SimOptions::portsFolder, t, o); }},
        {"--format", SetFormat},
        {"--rate", SetRate},
        {"--baud", SetBaud},
        {"--units", SetUnits},
        {"--id", SetIdentifier},
        {"--mode-char", SetModeChar},
        {"--reset-delay", NonNegative(&SimOptions::resetDelay)},
        {"--reset-pause", NonNegative(&SimOptions::resetPause)},
        {"--speed", WindValue(&WindSettings::meanSpeed, 0, 1000)},
        {"--direction", WindValue(&WindSettings::meanDirection, 0, 360)},
        {"--turbulence", WindValue(&WindSettings::turbulence, 0, 2)},
        {"--gusts", WindValue(&WindSettings::gustInterval, 0, 1e9)},
        {"--gust-factor", WindValue(&WindSettings::gustFactor, 1, 10)},
        {"--veer", WindValue(&WindSettings::veer, -36000, 36000)},
        {"--bad-checksum", Probability(&FaultSettings::badChecksum)},
        {"--bad-checksum-every", Every(&FaultSettings::badChecksum)},
        {"--lost-cr", Probability(&FaultSettings::lostCr)},
        {"--lost-cr-every", Every(&FaultSettings::lostCr)},
        {"--lost-start", Probability(&FaultSettings::lostStart)},
        {"--lost-start-every", Every(&FaultSettings::lostStart)},
        {"--noise", Probability(&FaultSettings::noise)},
        {"--noise-every", Every(&FaultSettings::noise)},
        {"--silence-after", NonNegative(&SimOptions::silenceAfter)},
        {"--silence-for", NonNegative(&SimOptions::silenceFor)},
        {"--vanish-after", NonNegative(&SimOptions::vanishAfter)},
        {"--count", SetCount},
        {"--duration", NonNegative(&SimOptions::duration)},
        {"--seed", SetSeed},
        {"--log",
         [](const std::string& t, SimOptions& o) { return SetText(&SimOptions::logPath, t, o); }},
    };
    return options;
}

}  // namespace

const std::vector<double>& OutputRates() {
    static const std::vector<double> rates = {0.25, 0.5, 1, 2, 4, 5, 8, 10, 32, 40, 50, 100};
    return rates;
}

ParseOutcome ParseOptions(const std::vector<std::string>& arguments, SimOptions& options,
                          std::string& error) {
    if (SimFormats().empty()) {
        error = "no output formats";
        return ParseOutcome::Error;
    }
    options.format = FindSimFormat("VARN_UV_TWO_AXIS").value_or(SimFormats().front());
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        if (name == "--help" || name == "-h") {
            return ParseOutcome::Help;
        }
        if (name == "--polled") {
            options.polled = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        if (const std::size_t equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            hasValue = true;
        }
        const auto option = ValueOptions().find(name);
        if (option == ValueOptions().end()) {
            error = "unknown option " + name + " (see --help)";
            return ParseOutcome::Error;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size()) {
                error = name + " needs a value";
                return ParseOutcome::Error;
            }
            value = arguments[++i];
        }
        if (!option->second(value, options)) {
            error = "bad value for " + name + ": \"" + value + "\" (see --help)";
            return ParseOutcome::Error;
        }
    }
    if (options.portsFolder.empty()) {
        options.portsFolder = PortsFolderPath();
    }
    return ParseOutcome::Run;
}

std::string HelpText() {
    std::string rates;
    for (double rate : OutputRates()) {
        rates += (rates.empty() ? "" : " ") + FormatGeneral(rate);
    }
    std::string formats;
    for (const SimFormat& format : SimFormats()) {
        formats += "                          " + format.name + " (" + format.letters + ")\n";
    }
    return R"(Usage: ventrix-sim [options]
A virtual anemometer on a pseudo-terminal, linked as COMn in the ports folder.

Port
  --port N              link COMn (1-50); default: the first free number from 11 up
  --ports-dir DIR       ports folder; default $VENTRIX_PORTS_DIR, else ~/.config/ventrix/ports
  --baud B              the instrument's line speed (default 9600); while the program's port
                        is set to another speed it receives garbage and is not heard
Messages
  --format NAME         one of the program's output formats (default VARN_UV_TWO_AXIS):
)" + formats +
           R"(  --rate HZ             one of )" + rates + R"( (default 4)
  --units M|N|P|K|F     unit of the speeds: m/s, knots, mph, km/h, ft/min (default M)
  --id TEXT             identifier field of the non-NMEA formats (default Q)
  --polled              send nothing unasked; answer each "Q" CR with one message
  --mode-char C         character sent after "RESET-" (default M, or P with --polled; after P
                        one more character, "1", follows)
  --reset-delay S       seconds from hearing "$$" to the reply (default 0.1)
  --reset-pause S       seconds without messages after the reply (default 1)
Wind
  --speed M/S           mean speed (default 5)
  --direction DEG       mean direction (default 270)
  --turbulence I        intensity: speed spread / mean speed (default 0.1; 0: steady wind)
  --gusts S             mean seconds between gusts (default 30; 0: none)
  --gust-factor F       peak of a gust / speed beneath it (default 1.5)
  --veer DEG_PER_MIN    steady turn of the direction, through north and on (default 0)
Faults (P: probability 0-1 per message; N: every Nth message, by sequence number)
  --bad-checksum P, --bad-checksum-every N     wrong checksum digits
  --lost-cr P, --lost-cr-every N               CR dropped (the LF stays)
  --lost-start P, --lost-start-every N         STX or "$" dropped
  --noise P, --noise-every N                   1-24 random bytes before the message
  --silence-after S --silence-for S            send nothing for a while
  --vanish-after S                             close the device after S seconds and exit
Run
  --count N             stop after N messages have gone out on the line
  --duration S          stop after S seconds
  --seed N              seed of the wind and the faults (default 1)
  --log FILE            record of every message slot (see README.md):
                        seq TAB time TAB status TAB accepted TAB bytes
  --help                this text
Values may also be given as --option=value. SIGINT or SIGTERM end the run cleanly.
)";
}

}  // namespace vx::sim
