#include "tools/stream/StreamSession.h"

#include "connection/MessageParser.h"
#include "connection/OutputFormats.h"
#include "tools/stream/StreamTable.h"

namespace vx {

StreamSession::StreamSession(const StreamSettings& settings, std::ostream& out)
    : out_(out), cutter_(FramingFor(IsNmeaFormat(settings.formatName)).start, kCr) {
    connection_.ApplyFormat(settings.formatName, settings.formatLetters);
    connection_.SetUnits(0);
    connection_.SetOutputRate(settings.rate);
    connection_.SetAveraging(settings.averaging);
    connection_.ClearMaxMin();
    WriteStreamHeader(out_);
}

void StreamSession::Feed(std::string_view bytes) {
    cutter_.Feed(bytes, [this](std::string_view packet) { HandlePacket(packet); });
}

PacketResult StreamSession::HandlePacket(std::string_view packet) {
    const PacketResult result = connection_.HandlePacket(packet);
    WriteStreamRow(out_, ++packets_, result, connection_);
    return result;
}

}  // namespace vx
