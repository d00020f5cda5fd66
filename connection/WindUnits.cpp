#include "connection/WindUnits.h"

#include <array>

namespace vx {

namespace {

struct UnitRow {
    double factor;
    std::string_view text;
};

constexpr std::array<UnitRow, kSpeedUnitCount> kUnits{{
    {1.0, "m/s"},
    {1.944, "knots"},
    {2.237, "mph"},
    {3.6, "kph"},
    {196.91, "fpm"},
}};

}  // namespace

bool IsSpeedUnit(int unit) {
    return unit >= 0 && unit < kSpeedUnitCount;
}

double DisplayFactor(int unit) {
    return IsSpeedUnit(unit) ? kUnits[unit].factor : 0.0;
}

std::string_view UnitText(int unit) {
    return IsSpeedUnit(unit) ? kUnits[unit].text : "";
}

double InputFactorFromUnits(std::string_view unitsField, double current) {
    // The order matters: a field holding several letters ends with the last match's factor.
    struct Letter {
        char letter;
        double factor;
    };
    static constexpr std::array<Letter, 5> kLetters{{
        {'M', 1.0},
        {'N', 1.0 / 1.944},
        {'P', 1.0 / 2.237},
        {'K', 1.0 / 3.6},
        {'F', 1.0 / 196.91},
    }};
    double factor = current;
    for (const Letter& entry : kLetters) {
        if (unitsField.find(entry.letter) != std::string_view::npos) {
            factor = entry.factor;
        }
    }
    return factor;
}

bool HasUnitsLetter(std::string_view unitsField) {
    return unitsField.find_first_of("MNPKF") != std::string_view::npos;
}

}  // namespace vx
