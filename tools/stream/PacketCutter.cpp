#include "tools/stream/PacketCutter.h"

namespace vx {

void PacketCutter::Feed(std::string_view bytes, const PacketHandler& onPacket) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (!collecting_) {
            const std::size_t start = bytes.find(start_, i);
            if (start == std::string_view::npos) {
                return;
            }
            collecting_ = true;
            packet_.assign(1, start_);
            i = start + 1;
            continue;
        }
        const std::size_t end = bytes.find(end_, i);
        if (end == std::string_view::npos) {
            packet_.append(bytes.substr(i));
            return;
        }
        packet_.append(bytes.substr(i, end - i + 1));
        collecting_ = false;
        onPacket(packet_);
        i = end + 1;
    }
}

void PacketCutter::Reset() {
    collecting_ = false;
    packet_.clear();
}

}  // namespace vx
