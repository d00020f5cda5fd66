#pragma once
// One anemometer stream through the wind core: bytes framed by the framer a connection uses,
// each packet handled as a connection handles a framed message, one table row per packet. Byte
// sources (a file, standard input) call Feed; a serial port's own framer calls FeedPacket.

#include "connection/WindConnection.h"
#include "serial/Serpacket.h"

#include <cstdint>
#include <memory>
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

// Frames as a connection does: the format's start character ("$" or STX) through CR.
void SetMessageFraming(TSerDataPacket& dpkt, const std::string& formatName);

class StreamSession {
public:
    // Writes the table header at once.
    StreamSession(const StreamSettings& settings, std::ostream& out);

    // A packet split over several calls is handled once, when its CR arrives.
    void Feed(std::string_view bytes);
    // A message already cut by a serial port's framer (start character through CR).
    PacketResult FeedPacket(std::string_view packet) { return HandlePacket(packet); }

    std::int64_t PacketCount() const { return packets_; }
    const WindConnection& Connection() const { return connection_; }

private:
    PacketResult HandlePacket(std::string_view packet);

    std::ostream& out_;
    WindConnection connection_;
    // Without a port the manager frames what Feed gives it, on this thread.
    std::shared_ptr<TSerDataPacketManager> framing_ = TSerDataPacketManager::CreateStandalone();
    TSerDataPacket dpkt_;
    std::int64_t packets_ = 0;
};

}  // namespace vx
