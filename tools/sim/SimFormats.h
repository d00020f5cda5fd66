#pragma once
// The output formats the simulated instrument can be configured for: the formats of the
// program's format table, by name, with their field letters.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::sim {

struct SimFormat {
    std::string name;
    std::string letters;
    bool polar = false;  // magnitude and direction instead of U and V
    bool nmea = false;   // "$" ... "*hh" instead of STX ... ETX hh
    bool hasW = false;
};

// The shipped formats in table order.
const std::vector<SimFormat>& SimFormats();

// The format of that exact name, or nothing.
std::optional<SimFormat> FindSimFormat(std::string_view name);

}  // namespace vx::sim
