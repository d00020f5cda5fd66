#include "tools/sim/SimFormats.h"

#include "connection/OutputFormats.h"

namespace vx::sim {

// The formats come from the program's own table, read from the same definition text, so the
// simulator offers exactly what the connect dialog lists.
const std::vector<SimFormat>& SimFormats() {
    static const std::vector<SimFormat> formats = [] {
        std::vector<SimFormat> list;
        OutputFormatTable table;
        table.FillFormatList();
        for (int i = 0; i < table.Count(); ++i) {
            SimFormat format;
            format.name = table.FormatNameAt(i);
            format.letters = table.FormatLettersAt(i);
            format.polar = IsPolarFormat(format.name);
            format.nmea = IsNmeaFormat(format.name);
            format.hasW = format.letters.find('W') != std::string::npos;
            list.push_back(std::move(format));
        }
        return list;
    }();
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
