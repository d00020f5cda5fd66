#pragma once
// Builds the instrument's messages: comma-separated fields in the order of the format's letters,
// framed as STX fields ETX hh CR LF, or $fields*hh CR LF for NMEA formats, hh being the XOR of
// the bytes between the start character and the delimiter in two uppercase hex digits.

#include <cstdint>
#include <string>

#include "tools/sim/SimFormats.h"
#include "tools/sim/WindModel.h"

namespace vx::sim {

inline constexpr char kStx = '\x02';
inline constexpr char kEtx = '\x03';
inline constexpr char kCr = '\r';
inline constexpr char kLf = '\n';

// One message in parts, so that faults can break a part and the message still be told apart.
struct Message {
    char start = kStx;
    std::string body;  // the fields, between the start and the delimiter
    char delimiter = kEtx;
    std::uint8_t checksum = 0;
    bool withStart = true;
    bool withCr = true;

    // The bytes on the line.
    std::string Bytes() const;
};

std::uint8_t XorChecksum(const std::string& body);
std::string HexByte(std::uint8_t value);  // two uppercase digits

// Unit factors from m/s, by the units letter the message carries.
double UnitFactor(char unitsLetter);

struct MessageSettings {
    char units = 'M';              // M m/s, N knots, P mph, K km/h, F ft/min
    std::string identifier = "Q";  // node letter of the Varn formats
    std::string nmeaTalker = "IIMWV";
    std::string status = "00";  // trailing status field of the Varn formats
    std::string nmeaStatus = "A";
};

class MessageBuilder {
public:
    MessageBuilder(SimFormat format, MessageSettings settings);

    Message Build(const WindState& wind) const;
    const SimFormat& Format() const { return format_; }

private:
    std::string Field(char letter, const WindState& wind) const;
    std::string DirectionText(double direction) const;

    SimFormat format_;
    MessageSettings settings_;
};

}  // namespace vx::sim
