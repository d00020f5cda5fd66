#pragma once
// A private ports folder in which every COM number names a missing device, so only the
// instruments a test starts are available, and the real ventrix-sim linked into it as COMn.

#include "tests/support/ChildProcess.h"
#include "tests/support/PortsFolder.h"

#include <string>
#include <vector>

namespace vx::test {

class PrivatePortsFolder : public PortsFolder {
public:
    PrivatePortsFolder() : PortsFolder(Numbers::Absent) {}
};

// ventrix-sim on COM<port> of the current ports folder, started with the extra arguments and
// waited for until it says it is ready.
class SimInstrument : public SimProcess {
public:
    SimInstrument(int port, const std::vector<std::string>& arguments)
        : SimProcess(OnPort(port, arguments)) {}

private:
    static std::vector<std::string> OnPort(int port, const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {"--port", std::to_string(port)};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return all;
    }
};

}  // namespace vx::test
