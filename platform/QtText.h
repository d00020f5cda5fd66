#pragma once
// Our own texts as Qt strings. Every text the program makes (names, paths, messages, numbers) is
// UTF-8 in a std::string; windows take QString. Numbers go through NumberText first, so "." stays
// the decimal point whatever locale the toolkit took from the environment.

#include <QString>

#include <string_view>

namespace vx {

QString ToQString(std::string_view text);

// FormatFixed as a QString: FixedText(2.5, 2) is "2.50".
QString FixedText(double value, int decimals);

// FormatGeneral as a QString: 4, 0.25, 100.
QString GeneralText(double value);

}  // namespace vx
