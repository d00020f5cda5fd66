#pragma once
// The value of ventrix's --connect option: COMn[,baud[,format[,name]]]. Qt-free.

#include <string>
#include <string_view>
#include <vector>

namespace vx {

// One connection the program opens at start, as the connect dialog would have made it.
struct ConnectRequest {
    static constexpr int kDefaultBaud = 9600;

    int comNumber = 0;
    int baud = kDefaultBaud;
    std::string format;  // a name of the output-format table; empty: the one the dialog proposes
    std::string name;    // empty: "COMn"

    std::string ShownName() const;
    bool operator==(const ConnectRequest&) const = default;
};

// Reads "COM5", "COM5,19200", "COM5,19200,NMEA_POLAR" or "COM5,19200,NMEA_POLAR,North mast"
// (an empty field keeps its default; the name is the rest, commas included). Returns "" or what
// is wrong, in words for the terminal.
std::string ParseConnectRequest(std::string_view text, ConnectRequest& request);

// The rates the connect dialog offers; the only ones --connect accepts.
const std::vector<int>& ConnectBaudRates();

}  // namespace vx
