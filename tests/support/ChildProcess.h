#pragma once
// Programs of this build run as children of a test: ventrix-sim standing in for an instrument,
// ventrix-stream or ventrix itself. A child dies with the test, so a crashed or killed test run
// leaves no simulator behind holding a port.

#include "tests/support/TempFolder.h"

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vx::test {

using namespace std::chrono_literals;

class PortsFolder;

struct ChildOptions {
    // NAME=VALUE entries added to this process's environment.
    std::vector<std::string> environment{};
    // Where standard output goes; empty: a file of the child's own (see Output()).
    std::string outputPath{};
    // Standard error goes there too (otherwise to the test's own).
    bool errorsToOutput = false;
    // Standard error to a file of its own, when a test reads it apart from the output.
    std::string errorPath{};
};

class ChildProcess {
public:
    // arguments[0] is the program's path.
    explicit ChildProcess(const std::vector<std::string>& arguments, ChildOptions options = {});
    // Ends a child still running: SIGTERM, so it can tidy up, then SIGKILL after a while.
    virtual ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    // What it has written to standard output so far.
    std::string Output() const;
    const std::string& OutputPath() const { return outputPath_; }

    void Signal(int signal);
    bool Running();
    // Waits for the end: its exit status, or -1 when a signal ended it or it still runs.
    int Wait(std::chrono::milliseconds deadline = 30s);
    // SIGTERM and Wait.
    int Stop(std::chrono::milliseconds deadline = 15s);

private:
    std::optional<TempFolder> folder_;  // for the output, unless a path was given
    std::string outputPath_;
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = -1;
};

// The path of a program of this build ("tools/sim/ventrix-sim").
std::string BuiltProgram(const std::string& relativePath);

// ventrix-sim, waited for until it says "ready" (or gives up).
class SimProcess : public ChildProcess {
public:
    explicit SimProcess(const std::vector<std::string>& arguments, ChildOptions options = {},
                        std::chrono::milliseconds readyDeadline = 20s);
    // On COM<comNumber> of the ports folder.
    SimProcess(const PortsFolder& ports, int comNumber, const std::vector<std::string>& arguments,
               ChildOptions options = {});

    bool Ready() const { return ready_; }
    // Everything it printed up to its "ready" line (or until it gave up).
    const std::string& Banner() const { return banner_; }
    // The COMn link it made, and the pseudo-terminal's device, as its banner names them.
    std::string LinkPath() const { return BannerLine("link: "); }
    std::string Device() const { return BannerLine("device: "); }

private:
    std::string BannerLine(const std::string& label) const;

    bool ready_ = false;
    std::string banner_;
};

}  // namespace vx::test
