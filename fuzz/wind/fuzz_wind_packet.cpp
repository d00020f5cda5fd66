// Any bytes through a connection's whole message path: framing and checksum test, trimming,
// parsing by a format (a shipped one or letters made from the input), units, statistics. The
// settings change between packets as the main window may change them.

#include "connection/OutputFormats.h"
#include "connection/OutputRate.h"
#include "connection/WindConnection.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void ChooseFormat(std::string_view& input, vx::WindConnection& connection) {
    if (input.empty()) {
        return;
    }
    const unsigned char pick = static_cast<unsigned char>(input.front());
    input.remove_prefix(1);
    vx::OutputFormatTable table;
    table.FillFormatList();
    if (pick < 200) {
        const int position = pick % table.Count();
        connection.ApplyFormat(table.FormatNameAt(position), table.FormatLettersAt(position));
        return;
    }
    // Made-up letters, up to 31 of them, with a name that may be POLAR and/or NMEA.
    const std::size_t length = std::min<std::size_t>(pick & 31u, input.size());
    const std::string letters(input.substr(0, length));
    input.remove_prefix(length);
    const std::string name =
        std::string((pick & 32u) ? "NMEA_" : "VARN_") + ((pick & 64u) ? "POLAR" : "UV");
    connection.ApplyFormat(name, letters);
}

void ChangeSettings(unsigned char control, vx::WindConnection& connection) {
    static const double kRates[] = {0, 0.25, 0.5, 1, 2, 4, 5, 8, 10, 32, 40, 50, 100, 1e9};
    switch (control % 8) {
        case 0:
            connection.SetOutputRate(kRates[(control >> 3) % 14]);
            break;
        case 1:
            connection.SetAveraging(static_cast<int>(control >> 3) % 12);
            break;
        case 2:
            connection.SetUnits(static_cast<int>(control >> 3) % 7 - 1);
            break;
        case 3:
            connection.ClearMaxMin();
            break;
        default:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    vx::WindConnection connection;
    connection.SetUnits(0);
    connection.SetOutputRate(100);
    connection.SetAveraging(10);
    ChooseFormat(input, connection);
    // Packets end at CR; the byte after each CR steers the settings.
    while (!input.empty()) {
        const std::size_t end = input.find('\r');
        const std::string_view packet =
            end == std::string_view::npos ? input : input.substr(0, end + 1);
        input.remove_prefix(packet.size());
        const vx::PacketResult result = connection.HandlePacket(packet);
        const vx::WindSample& s = connection.Sample();
        if (result.valid) {
            Require(std::abs(s.magnitude) <= 100 && s.direction < 360);
            Require(std::isfinite(connection.Gust()));
            const vx::WindAverages& a = connection.Averages();
            Require(std::isfinite(a.vectorSpeed) && std::isfinite(a.scalarSpeed));
            Require(a.minGust <= a.maxGust || connection.Statistics().AveragingWindow() == 0);
        }
        Require(connection.Packets() >= connection.GoodMessages());
        if (!input.empty()) {
            ChangeSettings(static_cast<unsigned char>(input.front()), connection);
        }
    }
    return 0;
}
