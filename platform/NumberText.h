#pragma once
// Numbers shown to the user and written to files always use "." as the decimal point,
// whatever locale the process runs under (QApplication sets the C locale from the environment).

#include <string>

namespace vx {

// Fixed notation with the given number of decimals ("0.00" is FormatFixed(v, 2)). A value that
// rounds to zero is written without a minus sign.
std::string FormatFixed(double value, int decimals);

// Shortest decimal form that reads back as the same double: 0.25, 4, 100.
std::string FormatGeneral(double value);

}  // namespace vx
