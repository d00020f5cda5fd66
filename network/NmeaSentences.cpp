#include "network/NmeaSentences.h"

#include "connection/WindUnits.h"
#include "platform/NumberText.h"

#include <algorithm>
#include <cmath>

namespace vx {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Fields are written with a fixed number of decimals and stay within the sentence's 82
// characters for any valid sample (at most 100 m/s, which is 360 km/h); a value beyond what a
// field can hold is clipped rather than let the sentence grow past the limit.
constexpr double kLargestSpeed = 9999.99;

std::string SpeedField(double metresPerSecond, NmeaSpeedUnit unit) {
    const double value = metresPerSecond * NmeaSpeedFactor(unit);
    if (!std::isfinite(value)) {
        return {};
    }
    return FormatFixed(std::clamp(value, -kLargestSpeed, kLargestSpeed), 2);
}

std::string AngleField(double degrees) {
    if (!std::isfinite(degrees)) {
        return {};
    }
    // Rounding 359.96 to one decimal gives 360.0, which no angle field should hold.
    double rounded = std::round(std::clamp(degrees, 0.0, 360.0) * 10) / 10;
    if (rounded >= 360) {
        rounded -= 360;
    }
    return FormatFixed(rounded, 1);
}

}  // namespace

bool ParseNmeaSpeedUnit(std::string_view text, NmeaSpeedUnit& unit) {
    if (text.size() != 1) {
        return false;
    }
    switch (text[0]) {
        case 'N':
        case 'n':
            unit = NmeaSpeedUnit::Knots;
            return true;
        case 'M':
        case 'm':
            unit = NmeaSpeedUnit::MetresPerSecond;
            return true;
        case 'K':
        case 'k':
            unit = NmeaSpeedUnit::Kph;
            return true;
        case 'S':
        case 's':
            unit = NmeaSpeedUnit::Mph;
            return true;
        default:
            return false;
    }
}

double NmeaSpeedFactor(NmeaSpeedUnit unit) {
    // The program's own unit factors, so a plotter shows what the connection window shows.
    switch (unit) {
        case NmeaSpeedUnit::Knots:
            return DisplayFactor(static_cast<int>(SpeedUnit::Knots));
        case NmeaSpeedUnit::Kph:
            return DisplayFactor(static_cast<int>(SpeedUnit::Kph));
        case NmeaSpeedUnit::Mph:
            return DisplayFactor(static_cast<int>(SpeedUnit::Mph));
        case NmeaSpeedUnit::MetresPerSecond:
            break;
    }
    return 1;
}

unsigned NmeaChecksum(std::string_view body) {
    unsigned sum = 0;
    for (const char c : body) {
        sum ^= static_cast<unsigned char>(c);
    }
    return sum;
}

std::string NmeaSentence(std::string_view body) {
    const unsigned sum = NmeaChecksum(body);
    std::string sentence;
    sentence.reserve(body.size() + 6);
    sentence += '$';
    sentence += body;
    sentence += '*';
    sentence += kHexDigits[(sum >> 4) & 0xF];
    sentence += kHexDigits[sum & 0xF];
    sentence += "\r\n";
    return sentence;
}

std::string BuildMwv(double directionDegrees, double speedMetresPerSecond, NmeaSpeedUnit unit) {
    std::string body = "WIMWV,";
    body += AngleField(directionDegrees);
    body += ",R,";
    body += SpeedField(speedMetresPerSecond, unit);
    body += ',';
    body += static_cast<char>(unit);
    body += ",A";
    return NmeaSentence(body);
}

std::string BuildVoidMwv(NmeaSpeedUnit unit) {
    std::string body = "WIMWV,,R,,";
    body += static_cast<char>(unit);
    body += ",V";
    return NmeaSentence(body);
}

std::string BuildXdr(const XdrValues& values, NmeaSpeedUnit unit) {
    const char letter = static_cast<char>(unit);
    std::string body = "WIXDR,G,";
    body += SpeedField(values.gust, unit);
    body += ',';
    body += letter;
    body += ",GUST3S";
    if (values.averagingMinutes > 0) {
        const std::string period = FormatGeneral(values.averagingMinutes) + "M";
        body += ",G,";
        body += SpeedField(values.averageSpeed, unit);
        body += ',';
        body += letter;
        body += ",AVGSPD" + period;
        body += ",A,";
        body += AngleField(values.averageDirection);
        body += ",D,AVGDIR" + period;
    }
    return NmeaSentence(body);
}

}  // namespace vx
