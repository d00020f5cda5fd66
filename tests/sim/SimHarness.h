#pragma once
// Runs the real ventrix-sim executable against a private ports folder and opens its port the
// way the program does: through the COMn link, in raw mode, at a chosen speed.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace vx::simtest {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A fresh private folder under the temporary folder, removed with its content at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

class SimProcess {
public:
    // Starts ventrix-sim with the arguments and VENTRIX_PORTS_DIR set to `portsFolder`, and
    // waits for its "ready" line.
    SimProcess(const std::string& portsFolder, const std::vector<std::string>& arguments);
    ~SimProcess();

    bool Ready() const { return ready_; }
    const std::string& Banner() const { return banner_; }
    std::string LinkPath() const;  // from the banner
    pid_t Pid() const { return pid_; }

    void Signal(int signal);
    // Waits for the exit; returns the exit code, or -1 on a time-out or a crash.
    int WaitExit(Clock::duration limit = 15s);

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    bool ready_ = false;
    bool exited_ = false;
    std::string banner_;
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
std::string ReadFile(const std::string& path);
bool PathExists(const std::string& path);
// The printable characters of `bytes`, as the baud-rate search reads them.
std::string Printable(const std::string& bytes);

}  // namespace vx::simtest
