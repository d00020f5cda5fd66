#pragma once
// The record of what the simulator sent, for tests that count losses. One tab-separated line per
// message slot:
//   seq  time  status  accepted  bytes
// seq: the message's sequence number (1 up; "-" for noise bursts and reset replies);
// time: seconds since the start, to the millisecond;
// status: ok, bad-checksum, no-cr, no-start (joined by "+"), garbled (sent while the program's
//   line speed differed), noise, reset-reply, or a slot that went out as nothing: unheard
//   (nobody had the port open), silent, reset (the unit was resetting), late (the simulator fell
//   more than a second behind its schedule), overrun (the program did not read and the line
//   queue was full);
// accepted: how many packets these bytes completed that the program's message test accepts;
// bytes: the message as built, printable ASCII as is, every other byte and "\" as \xNN.
// Events (a listener came or went, the line speed changed) are comment lines starting with "#".
// Every line is flushed at once, so the log can be read while the simulator runs.

#include <cstdio>
#include <string>

namespace vx::sim {

std::string EscapeBytes(const std::string& bytes);

struct LogEntry {
    std::string sequence;
    double time = 0;
    std::string status;
    int accepted = 0;
    std::string bytes;
};

class SendLog {
public:
    SendLog() = default;
    ~SendLog();
    SendLog(const SendLog&) = delete;
    SendLog& operator=(const SendLog&) = delete;

    // An empty path keeps no log.
    bool Open(const std::string& path, std::string& error);
    void Close();

    void Write(const LogEntry& entry);
    void Comment(const std::string& text);
    void Event(double time, const std::string& text);

private:
    void Put(const std::string& line);

    std::FILE* file_ = nullptr;
};

}  // namespace vx::sim
