#pragma once
// The instrument's end of the line: the master side of a pseudo-terminal whose slave the program
// opens as its serial port. What a pseudo-terminal lets us see of the program's side:
//  - the line speed the program set on the slave (tcgetattr on the master reads the slave's);
//  - whether anyone holds the slave open (the master polls POLLHUP and reads EIO when nobody
//    does, once the slave has been opened at least once);
//  - when the program flushes its input (packet mode reports it).
// Parity cannot be seen: the driver keeps 8 bits without parity whatever the program asks, so a
// parity mismatch is not simulated. Nothing throttles the data to the baud rate either.

#include <cstdint>
#include <string>

namespace vx::sim {

// Baud rate in bits per second of a termios speed constant, and back; 0 / false when unknown.
std::uint32_t SpeedToBaud(unsigned speed);
bool BaudToSpeed(std::uint32_t baud, unsigned& speed);

struct ReadResult {
    std::string data;      // bytes the program wrote
    bool flushed = false;  // the program discarded its unread input
    bool hangup = false;   // nobody has the slave open (any more)
};

class PtyLink {
public:
    PtyLink() = default;
    ~PtyLink();
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    // Creates the pseudo-terminal in raw mode at the given speed, with nobody listening yet.
    bool Open(std::uint32_t baud, std::string& error);
    void Close();

    bool IsOpen() const { return master_ >= 0; }
    int MasterFd() const { return master_; }
    const std::string& Device() const { return device_; }

    // Someone holds the slave open.
    bool ListenerPresent() const;
    // The speed the program set on its side; 0 when it cannot be read.
    std::uint32_t ProgramBaud() const;

    // Non-blocking write; returns the bytes taken, 0 when the line is full, -1 when nobody
    // listens.
    long Write(const std::string& bytes);
    ReadResult Read();

    // Discards what the program left unread when it closed the port. A pseudo-terminal keeps
    // those bytes for the next open; a serial port does not.
    void DiscardStaleInput();

private:
    int master_ = -1;
    std::string device_;
};

}  // namespace vx::sim
