#include "tools/sim/AcceptanceModel.h"

#include "connection/MessageParser.h"

namespace vx::sim {

AcceptanceModel::AcceptanceModel(bool nmea) : nmea_(nmea), start_(nmea ? '$' : '\x02') {}

void AcceptanceModel::Reset() {
    collecting_ = false;
    packet_.clear();
}

int AcceptanceModel::Feed(const std::string& bytes) {
    int accepted = 0;
    for (char c : bytes) {
        if (!collecting_) {
            if (c == start_) {
                collecting_ = true;
                packet_.assign(1, c);
            }
            continue;
        }
        packet_ += c;
        if (c == '\r') {
            accepted += Accepts(packet_, nmea_) ? 1 : 0;
            Reset();
        }
    }
    return accepted;
}

bool AcceptanceModel::Accepts(const std::string& packet, bool nmea) {
    return CheckMessage(packet, nmea);
}

}  // namespace vx::sim
