#include "tools/sim/SimFormats.h"

namespace vx::sim {

namespace {

SimFormat Make(std::string name, std::string letters) {
    SimFormat format;
    format.polar = name.find("POLAR") != std::string::npos;
    format.nmea = name.find("NMEA") != std::string::npos;
    format.hasW = letters.find('W') != std::string::npos;
    format.name = std::move(name);
    format.letters = std::move(letters);
    return format;
}

}  // namespace

const std::vector<SimFormat>& SimFormats() {
    static const std::vector<SimFormat> formats = {
        Make("VARN_UV_TWO_AXIS", "IUVN"),       Make("VARN_POLAR_TWO_AXIS", "IDMN"),
        Make("NMEA_POLAR", "IDRMNS"),           Make("VARN_UVW_THREE_AXIS", "IUVWN"),
        Make("VARN_POLAR_THREE_AXIS", "IDMWN"),
    };
    return formats;
}

std::optional<SimFormat> FindSimFormat(std::string_view name) {
    for (const SimFormat& format : SimFormats()) {
        if (format.name == name) {
            return format;
        }
    }
    return std::nullopt;
}

}  // namespace vx::sim
