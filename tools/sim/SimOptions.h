#pragma once
// The simulator's command line.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/sim/FaultInjector.h"
#include "tools/sim/MessageBuilder.h"
#include "tools/sim/SimFormats.h"
#include "tools/sim/WindModel.h"

namespace vx::sim {

struct SimOptions {
    int port = 0;  // 0: the first free number from 11 up
    std::string portsFolder;
    SimFormat format;
    double rate = 4;
    std::uint32_t baud = 9600;
    bool polled = false;
    char modeChar = 0;  // 0: "P" when polled, else "M"
    double resetDelay = 0.1;
    double resetPause = 1.0;
    WindSettings wind;
    MessageSettings message;
    FaultSettings faults;
    double silenceAfter = -1;  // negative: no silent period
    double silenceFor = 0;
    double vanishAfter = -1;  // negative: the device never vanishes
    std::uint64_t count = 0;  // 0: no limit
    double duration = 0;      // 0: no limit
    std::uint64_t seed = 1;
    std::string logPath;

    char ModeChar() const { return modeChar != 0 ? modeChar : (polled ? 'P' : 'M'); }
};

// The output rates the instrument offers (messages per second).
const std::vector<double>& OutputRates();

enum class ParseOutcome { Run, Help, Error };

ParseOutcome ParseOptions(const std::vector<std::string>& arguments, SimOptions& options,
                          std::string& error);

std::string HelpText();

}  // namespace vx::sim
