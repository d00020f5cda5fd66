#pragma once
// What the receiving program makes of the bytes the simulator puts on the line: it cuts the
// stream into packets from a start character ("$" or STX) to the next CR (a second start
// character inside a packet does not restart it) and accepts a packet of at least 10 bytes whose
// XOR between the start and the first delimiter ("*" or ETX) equals the hex number after the
// delimiter (by the program's own message test). Running the same rules here lets the send log say
// how many accepted messages each write should produce, so tests can count losses exactly.

#include <cstdint>
#include <string>

namespace vx::sim {

class AcceptanceModel {
public:
    explicit AcceptanceModel(bool nmea);

    // Feeds bytes in line order; returns how many packets they completed that pass the test.
    int Feed(const std::string& bytes);

    // The receiver opened the port or flushed its input: a partial packet is gone.
    void Reset();

    static bool Accepts(const std::string& packet, bool nmea);

private:
    bool nmea_;
    char start_;
    bool collecting_ = false;
    std::string packet_;
};

}  // namespace vx::sim
