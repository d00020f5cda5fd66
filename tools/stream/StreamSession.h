#pragma once
// One anemometer stream through the wind core: packets cut from bytes, each handled as a
// connection handles a framed message, one table row per packet. Byte sources (a file, standard
// input, a serial port) only call Feed.

#include "connection/WindConnection.h"
#include "tools/stream/PacketCutter.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace vx {

struct StreamSettings {
    std::string formatName;
    std::string formatLetters;
    double rate = 1;
    int averaging = 0;
};

class StreamSession {
public:
    // Writes the table header at once.
    StreamSession(const StreamSettings& settings, std::ostream& out);

    void Feed(std::string_view bytes);
    // A message already cut by a serial port's framer (start character through CR).
    PacketResult FeedPacket(std::string_view packet) { return HandlePacket(packet); }

    std::int64_t PacketCount() const { return packets_; }
    const WindConnection& Connection() const { return connection_; }

private:
    PacketResult HandlePacket(std::string_view packet);

    std::ostream& out_;
    WindConnection connection_;
    PacketCutter cutter_;
    std::int64_t packets_ = 0;
};

}  // namespace vx
