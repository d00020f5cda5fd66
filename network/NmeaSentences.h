#pragma once
// NMEA 0183 sentences of the wind, as a chart plotter or navigation server reads them:
//   $WIMWV,<angle>,R,<speed>,<unit>,<A|V>*hh CR LF      relative wind, one per sample
//   $WIXDR,G,<gust>,<unit>,GUST3S[,G,<speed>,<unit>,AVGSPD<n>M,A,<dir>,D,AVGDIR<n>M]*hh CR LF
// The XDR transducers: GUST3S is the 3-second gust; AVGSPD<n>M and AVGDIR<n>M are the speed and
// direction averaged over the last n minutes (2 or 10), vector or scalar as the connection shows
// them, present only while averaging is on. Speeds are type G (generic) in the same unit letter
// as the MWV sentence, directions type A (angular) in D (degrees).

#include <string>
#include <string_view>

namespace vx {

// The sentence's whole length, "$" through CR LF, that NMEA 0183 allows.
inline constexpr std::size_t kMaxSentenceLength = 82;

// The speed units an MWV sentence can name.
enum class NmeaSpeedUnit : char { Knots = 'N', MetresPerSecond = 'M', Kph = 'K', Mph = 'S' };

// 'N', 'M', 'K' or 'S' (either case) to a unit; false for anything else.
bool ParseNmeaSpeedUnit(std::string_view text, NmeaSpeedUnit& unit);
// Factor from m/s to the unit.
double NmeaSpeedFactor(NmeaSpeedUnit unit);

// XOR of the bytes between "$" and "*".
unsigned NmeaChecksum(std::string_view body);
// "$" + body + "*" + two upper-case hex digits + CR LF.
std::string NmeaSentence(std::string_view body);

// Relative wind from a valid sample (m/s, degrees): status A.
std::string BuildMwv(double directionDegrees, double speedMetresPerSecond, NmeaSpeedUnit unit);
// Relative wind that is not there (the instrument is lost or silent): empty fields, status V.
std::string BuildVoidMwv(NmeaSpeedUnit unit);

struct XdrValues {
    double gust = 0;              // m/s
    int averagingMinutes = 0;     // 0 = off: no average transducers
    double averageSpeed = 0;      // m/s
    double averageDirection = 0;  // degrees
};
std::string BuildXdr(const XdrValues& values, NmeaSpeedUnit unit);

}  // namespace vx
