// ventrix-sim: a virtual anemometer on a pseudo-terminal, for tests, demonstrations and users
// without an instrument. See README.md in this folder and --help.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/NumberText.h"
#include "tools/sim/MessageBuilder.h"
#include "tools/sim/Simulator.h"

namespace {

int stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const char byte = 1;
    // Only async-signal-safe calls here; the main loop sees the byte and ends cleanly.
    [[maybe_unused]] ssize_t ignored = write(stopPipe[1], &byte, 1);
}

bool InstallStopSignals() {
    if (pipe2(stopPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

// A real line carries baud / 10 bytes a second; a pseudo-terminal is not throttled, so a rate
// the instrument could not reach at its speed is only warned about.
void WarnIfLineTooSlow(const vx::sim::SimOptions& options) {
    if (options.polled) {
        return;
    }
    const vx::sim::MessageBuilder builder(options.format, options.message);
    const std::size_t bytes = builder.Build(vx::sim::WindState{}).Bytes().size();
    const double needed = options.rate * static_cast<double>(bytes) * 10.0;
    if (needed > options.baud) {
        std::cerr << "ventrix-sim: warning: " << vx::FormatGeneral(options.rate)
                  << " messages per second need about " << vx::FormatFixed(needed, 0)
                  << " baud; a real line at " << options.baud << " baud could not carry them\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    vx::sim::SimOptions options;
    std::string error;
    switch (vx::sim::ParseOptions(arguments, options, error)) {
        case vx::sim::ParseOutcome::Help:
            std::cout << vx::sim::HelpText();
            return 0;
        case vx::sim::ParseOutcome::Error:
            std::cerr << "ventrix-sim: " << error << "\n";
            return 2;
        case vx::sim::ParseOutcome::Run:
            break;
    }
    if (!InstallStopSignals()) {
        std::cerr << "ventrix-sim: cannot set up signal handling\n";
        return 1;
    }
    WarnIfLineTooSlow(options);
    vx::sim::Simulator simulator(options);
    if (!simulator.Start(error)) {
        std::cerr << "ventrix-sim: " << error << "\n";
        return 1;
    }
    std::cout << simulator.Banner() << std::flush;
    const int code = simulator.Run(stopPipe[0]);
    std::cout << simulator.Summary() << std::flush;
    return code;
}
