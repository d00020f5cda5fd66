#include "platform/QtText.h"

#include "platform/NumberText.h"

namespace vx {

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString FixedText(double value, int decimals) {
    return ToQString(FormatFixed(value, decimals));
}

QString GeneralText(double value) {
    return ToQString(FormatGeneral(value));
}

}  // namespace vx
