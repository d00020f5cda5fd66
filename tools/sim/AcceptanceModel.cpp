#include "tools/sim/AcceptanceModel.h"

namespace vx::sim {

namespace {

constexpr std::size_t kMinMessageLength = 10;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool IsScanSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

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
    const char start = nmea ? '$' : '\x02';
    const char delimiter = nmea ? '*' : '\x03';
    if (packet.size() < kMinMessageLength || packet[0] != start) {
        return false;
    }
    const std::size_t at = packet.find(delimiter, 1);
    if (at == std::string::npos) {
        return false;
    }
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < at; ++i) {
        sum ^= static_cast<std::uint8_t>(packet[i]);
    }
    // The checksum is read as a "%x" scan reads it: leading white space skipped, then digits up
    // to the first character that is not one.
    std::size_t i = at + 1;
    while (i < packet.size() && IsScanSpace(packet[i])) {
        ++i;
    }
    unsigned value = 0;
    bool anyDigit = false;
    for (; i < packet.size() && HexDigit(packet[i]) >= 0; ++i) {
        value = (value << 4) | static_cast<unsigned>(HexDigit(packet[i]));
        anyDigit = true;
    }
    return anyDigit && (value & 0xFF) == sum;
}

}  // namespace vx::sim
