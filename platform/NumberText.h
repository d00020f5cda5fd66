#pragma once
// Numbers shown to the user and written to files always use "." as the decimal point,
// whatever locale the process runs under (QApplication sets the C locale from the environment).

#include <string>
#include <string_view>

namespace vx {

// Fixed notation with the given number of decimals ("0.00" is FormatFixed(v, 2)). A value that
// rounds to zero is written without a minus sign.
std::string FormatFixed(double value, int decimals);

// Shortest decimal form that reads back as the same double: 0.25, 4, 100.
std::string FormatGeneral(double value);

// A whole number as typed (leading blanks, an optional sign, decimal digits); nothing else is
// accepted, and a number beyond 32 bits is not one either.
bool ParseWholeNumber(std::string_view text, int& value);

// A decimal number as typed ("." as decimal point, optional sign and exponent, blanks around it
// allowed); false for anything else, infinities and NaN included.
bool ParseDecimalNumber(std::string_view text, double& value);

}  // namespace vx
