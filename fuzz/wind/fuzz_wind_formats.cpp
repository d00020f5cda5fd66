// Any text as the format-definition text: the table, the list, the lookups by position, and
// every resulting format used to parse a message.

#include "connection/OutputFormats.h"
#include "connection/WindConnection.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    vx::OutputFormatTable table(vx::SplitLines(text));
    const vx::FormatList list = table.FillFormatList();
    if (table.Count() < 0 || table.Count() > vx::OutputFormatTable::kMaxFormats ||
        static_cast<int>(list.names.size()) != table.Count() ||
        list.names.empty() != (list.selected < 0)) {
        std::abort();
    }
    vx::WindConnection connection;
    connection.SetUnits(0);
    connection.SetOutputRate(1);
    connection.SetAveraging(2);
    for (int position = -1; position <= vx::OutputFormatTable::kMaxFormats; ++position) {
        connection.ApplyFormat(table.FormatNameAt(position), table.FormatLettersAt(position));
        connection.HandlePacket(
            "\x02Q,+001.00,-002.00,M,00\x03"
            "2B\r");
        connection.HandlePacket("$IIMWV,229,R,5.0,M,A*1F\r");
        if (position >= 0 && position < table.Count() &&
            table.FormatNameAt(position) != list.names[position]) {
            std::abort();
        }
    }
    return 0;
}
