#include "tools/sim/MessageBuilder.h"

#include <cmath>

#include "platform/NumberText.h"

namespace vx::sim {

namespace {

constexpr double kPi = 3.141592653589793;
// Integer digits the instrument pads its numbers to ("+001.00", "229").
constexpr std::size_t kSpeedDigits = 6;  // "001.00"
constexpr std::size_t kDirectionDigits = 3;

std::string ZeroPad(std::string digits, std::size_t width) {
    if (digits.size() < width) {
        digits.insert(0, width - digits.size(), '0');
    }
    return digits;
}

std::string UnsignedSpeed(double value) {
    return ZeroPad(FormatFixed(std::fabs(value), 2), kSpeedDigits);
}

std::string SignedSpeed(double value) {
    const std::string magnitude = UnsignedSpeed(value);
    const bool negative = value < 0 && magnitude.find_first_not_of("0.") != std::string::npos;
    return (negative ? "-" : "+") + magnitude;
}

}  // namespace

std::uint8_t XorChecksum(const std::string& body) {
    std::uint8_t sum = 0;
    for (char c : body) {
        sum ^= static_cast<std::uint8_t>(c);
    }
    return sum;
}

std::string HexByte(std::uint8_t value) {
    static const char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

double UnitFactor(char unitsLetter) {
    switch (unitsLetter) {
        case 'N':
            return 1.944;
        case 'P':
            return 2.237;
        case 'K':
            return 3.6;
        case 'F':
            return 196.91;
        default:
            return 1.0;
    }
}

std::string Message::Bytes() const {
    std::string bytes;
    bytes.reserve(body.size() + 8);
    if (withStart) {
        bytes += start;
    }
    bytes += body;
    bytes += delimiter;
    bytes += HexByte(checksum);
    if (withCr) {
        bytes += kCr;
    }
    bytes += kLf;
    return bytes;
}

MessageBuilder::MessageBuilder(SimFormat format, MessageSettings settings)
    : format_(std::move(format)), settings_(std::move(settings)) {}

std::string MessageBuilder::DirectionText(double direction) const {
    const int decimals = format_.nmea ? 1 : 0;
    const double scale = format_.nmea ? 10.0 : 1.0;
    double rounded = std::round(direction * scale) / scale;
    // Rounding can reach 360, which the program does not take as a valid direction.
    if (rounded >= 360.0) {
        rounded = 0.0;
    }
    std::string text = FormatFixed(rounded, decimals);
    const std::size_t point = text.find('.');
    const std::size_t integerDigits = point == std::string::npos ? text.size() : point;
    if (integerDigits < kDirectionDigits) {
        text.insert(0, kDirectionDigits - integerDigits, '0');
    }
    return text;
}

std::string MessageBuilder::Field(char letter, const WindState& wind) const {
    const double factor = UnitFactor(settings_.units);
    const double radians = wind.direction * kPi / 180.0;
    switch (letter) {
        case 'I':
            return format_.nmea ? settings_.nmeaTalker : settings_.identifier;
        // Direction 0 is the wind along -U and 90 along +V, the program's convention.
        case 'U':
            return SignedSpeed(-wind.speed * std::cos(radians) * factor);
        case 'V':
            return SignedSpeed(wind.speed * std::sin(radians) * factor);
        case 'W':
            return SignedSpeed(wind.w * factor);
        case 'M':
            return UnsignedSpeed(wind.speed * factor);
        case 'D':
            return DirectionText(wind.direction);
        case 'N':
            return std::string(1, settings_.units);
        case 'S':
            return format_.nmea ? settings_.nmeaStatus : settings_.status;
        case 'R':
            return "R";  // NMEA: wind angle relative to the instrument
        default:
            return "";
    }
}

Message MessageBuilder::Build(const WindState& wind) const {
    Message message;
    message.start = format_.nmea ? '$' : kStx;
    message.delimiter = format_.nmea ? '*' : kEtx;
    for (std::size_t i = 0; i < format_.letters.size(); ++i) {
        if (i > 0) {
            message.body += ',';
        }
        message.body += Field(format_.letters[i], wind);
    }
    // The Varn formats end with a status field that their letters do not name.
    if (!format_.nmea && format_.letters.find('S') == std::string::npos) {
        message.body += ',';
        message.body += settings_.status;
    }
    message.checksum = XorChecksum(message.body);
    return message;
}

}  // namespace vx::sim
