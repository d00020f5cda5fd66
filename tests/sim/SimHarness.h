#pragma once
// Runs the real ventrix-sim executable against a private ports folder and opens its port the
// way the program does: through the COMn link, in raw mode, at a chosen speed.

#include "tests/support/ChildProcess.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace vx::simtest {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

using test::ReadFile;
using test::TempFolder;

// ventrix-sim finding its ports folder as the program does, through VENTRIX_PORTS_DIR.
class SimProcess : public test::SimProcess {
public:
    SimProcess(const std::string& portsFolder, const std::vector<std::string>& arguments)
        : test::SimProcess(arguments, {{"VENTRIX_PORTS_DIR=" + portsFolder}}) {}
    // The exit code, or -1 on a time-out or a crash.
    int WaitExit(Clock::duration limit = 15s) {
        return Wait(std::chrono::duration_cast<std::chrono::milliseconds>(limit));
    }
};

class SlavePort {
public:
    SlavePort() = default;
    ~SlavePort();
    SlavePort(const SlavePort&) = delete;
    SlavePort& operator=(const SlavePort&) = delete;

    bool Open(const std::string& path, unsigned baud);
    bool SetBaud(unsigned baud);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    void Send(const std::string& bytes);
    // Everything that arrives within `window`.
    std::string ReadFor(Clock::duration window);
    // Reads until `count` complete messages (start ... CR LF) have arrived, the line hangs up,
    // or the deadline passes.
    std::string ReadMessages(std::size_t count, bool nmea, Clock::duration limit = 10s);
    // Reads until the simulator hangs up the line or the deadline passes.
    std::string ReadUntilHangup(Clock::duration limit = 10s);
    bool HungUp() const { return hungUp_; }

private:
    bool ReadSome(int timeoutMs, std::string& into);

    int fd_ = -1;
    bool hungUp_ = false;
};

// A message taken apart by the tests' own rules, independent of the simulator's code.
struct ParsedMessage {
    std::string raw;
    bool framed = false;  // start, delimiter, two hex digits, CR LF
    bool checksumOk = false;
    std::vector<std::string> fields;
};

std::vector<ParsedMessage> SplitMessages(const std::string& stream, bool nmea);
// Packets from start to CR as the program's framer cuts them, and how many pass its test.
int CountAcceptedPackets(const std::string& stream, bool nmea);

struct LogLine {
    std::string sequence;
    double time = 0;
    std::string status;
    int accepted = 0;
    std::string bytes;  // unescaped
};

std::vector<LogLine> ReadSendLog(const std::string& path);
bool PathExists(const std::string& path);
// The printable characters of `bytes`, as the baud-rate search reads them.
std::string Printable(const std::string& bytes);

}  // namespace vx::simtest
