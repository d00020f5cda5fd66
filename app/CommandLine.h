#pragma once
// The command line of ventrix, read before the toolkit starts so that --help, --version and a
// mistake are answered on the terminal without a display. Qt-free.
//
// Arguments of the toolkit itself (-platform offscreen, -style=fusion, ...) are let through to
// it; anything else that is not ours is a mistake, because a misspelt option silently ignored
// leaves the user wondering why it had no effect.

#include "app/ConnectOption.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace vx {

// Exit statuses of a run that ends before any window opens.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitUsage = 2;

struct CommandLine {
    bool help = false;
    bool version = false;
    // --connect, in the order given: opened at start, so an autostart entry brings a station back.
    std::vector<ConnectRequest> connections;
    // --log: logging starts once they are open, with the saved log settings.
    bool log = false;
    std::string error;  // empty when every argument was understood
    int exitStatus = kExitSuccess;

    // True when the run ends on the terminal: help, version or a mistake.
    bool EndsBeforeWindows() const { return help || version || !error.empty(); }
};

// Reads the arguments after the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);
CommandLine ParseCommandLine(int argc, const char* const* argv);

std::string CommandLineHelp();
std::string CommandLineVersion();

// Writes help or version to `out`, or the mistake with a hint to `err`; returns the exit status.
int AnswerOnTerminal(const CommandLine& commandLine, std::ostream& out, std::ostream& err);

}  // namespace vx
