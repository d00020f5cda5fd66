#pragma once
// Cuts a byte stream into packets the way a connection's framer does with one start character
// and CR as the end: a packet runs from the start character through the next CR, both kept; a
// second start character inside a packet is just a byte of it; bytes outside a packet are
// dropped. Used on files here and, by a live mode, on bytes read from a port.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vx {

class PacketCutter {
public:
    using PacketHandler = std::function<void(std::string_view packet)>;

    explicit PacketCutter(char start, char end = '\r') : start_(start), end_(end) {}

    // Feeds the next bytes; every packet they complete goes to `onPacket` in order. A packet
    // split over several calls is delivered once, when its end arrives.
    void Feed(std::string_view bytes, const PacketHandler& onPacket);

    // Abandons a partly collected packet (as disabling a framer does).
    void Reset();

    bool Collecting() const { return collecting_; }
    std::size_t PendingSize() const { return packet_.size(); }

private:
    char start_;
    char end_;
    bool collecting_ = false;
    std::string packet_;
};

}  // namespace vx
