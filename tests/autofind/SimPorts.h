#pragma once
// A private ports folder in which every COM number names a missing device, so only the
// instruments a test starts are available, and the real ventrix-sim linked into it as COMn.

#include <sys/types.h>

#include <string>
#include <vector>

namespace vx::test {

// Creates the folder, points VENTRIX_PORTS_DIR at it while it lives, and links COM1..COM50 to
// devices that do not exist (a simulator replaces such a link with its own).
class PrivatePortsFolder {
public:
    PrivatePortsFolder();
    ~PrivatePortsFolder();
    PrivatePortsFolder(const PrivatePortsFolder&) = delete;
    PrivatePortsFolder& operator=(const PrivatePortsFolder&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// ventrix-sim on COM<port> of the current ports folder, started with the extra arguments and
// waited for until it says it is ready.
class SimInstrument {
public:
    SimInstrument(int port, const std::vector<std::string>& arguments);
    ~SimInstrument();
    SimInstrument(const SimInstrument&) = delete;
    SimInstrument& operator=(const SimInstrument&) = delete;

    bool Ready() const { return ready_; }
    const std::string& Banner() const { return banner_; }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    bool ready_ = false;
    std::string banner_;
};

}  // namespace vx::test
