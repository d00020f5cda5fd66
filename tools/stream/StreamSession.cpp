#include "tools/stream/StreamSession.h"

#include "connection/MessageParser.h"
#include "connection/OutputFormats.h"
#include "tools/stream/StreamTable.h"

namespace vx {

void SetMessageFraming(TSerDataPacket& dpkt, const std::string& formatName) {
    dpkt.SetStartString(std::string(1, FramingFor(IsNmeaFormat(formatName)).start));
    dpkt.SetEndString(std::string(1, kCr));
}

StreamSession::StreamSession(const StreamSettings& settings, std::ostream& out) : out_(out) {
    connection_.ApplyFormat(settings.formatName, settings.formatLetters);
    connection_.SetUnits(0);
    connection_.SetOutputRate(settings.rate);
    connection_.SetAveraging(settings.averaging);
    connection_.ClearMaxMin();
    WriteStreamHeader(out_);
    framing_->Attach(&dpkt_);
    SetMessageFraming(dpkt_, settings.formatName);
    dpkt_.OnStringPacket = [this](TSerDataPacket*, const std::string& packet) {
        HandlePacket(packet);
    };
    dpkt_.SetEnabled(true);
}

void StreamSession::Feed(std::string_view bytes) {
    framing_->Feed(bytes.data(), bytes.size());
}

PacketResult StreamSession::HandlePacket(std::string_view packet) {
    const PacketResult result = connection_.HandlePacket(packet);
    WriteStreamRow(out_, ++packets_, result, connection_);
    return result;
}

}  // namespace vx
