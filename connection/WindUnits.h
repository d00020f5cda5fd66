#pragma once
// Speed units: the display unit the user picks, and the units letter of a message.

#include <string_view>

namespace vx {

// Display units, by the number the main window passes to SetUnits.
enum class SpeedUnit { MetresPerSecond = 0, Knots = 1, Mph = 2, Kph = 3, Fpm = 4 };

inline constexpr int kSpeedUnitCount = 5;

// Factor from m/s to the unit and the unit text ("m/s", "knots", "mph", "kph", "fpm"); numbers
// outside 0..4 give 0 and "" (callers keep their old values for those).
double DisplayFactor(int unit);
std::string_view UnitText(int unit);
bool IsSpeedUnit(int unit);

// The factor that turns a message's speeds into m/s, from its units field. Each of the letters
// M, N, P, K, F found anywhere in the field replaces the factor chosen before it, in that order,
// so the last of them wins; a field with none of them keeps `current`.
double InputFactorFromUnits(std::string_view unitsField, double current);
// Whether the field holds any of those letters.
bool HasUnitsLetter(std::string_view unitsField);

}  // namespace vx
