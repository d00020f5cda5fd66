#pragma once
// A pseudo-terminal standing in for a serial device: the program opens the slave (usually through
// a COMn link), the test plays the instrument on the master.

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <string>

namespace vx::test {

using namespace std::chrono_literals;

class PseudoTerminal {
public:
    // Opens a master (non-blocking, closed on exec, so a simulator started meanwhile never holds
    // it); throws when the system has none to give.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool IsOpen() const { return master_ >= 0; }
    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Writes all of it, waiting for room while the reader is slow; false when the deadline
    // passed or the line failed.
    bool Write(const std::string& bytes, std::chrono::milliseconds deadline = 20s);
    // Writes what fits now and drops the rest, as an instrument talks on whether anyone listens.
    void Offer(const std::string& bytes);
    // Reads until `count` bytes came or the deadline passed.
    std::string Read(std::size_t count, std::chrono::milliseconds deadline = 20s);
    // Everything that waits now.
    std::string ReadAvailable();

    // The speed the program set on the slave, as the master sees it.
    speed_t SlaveSpeed() const;
    // Changes the slave's speed behind the program's back.
    void SetSlaveSpeed(speed_t speed);

    // Hangs up the line, as an unplugged device does.
    void CloseMaster();

private:
    int master_ = -1;
    std::string slavePath_;
};

}  // namespace vx::test
