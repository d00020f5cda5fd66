#pragma once
// The output formats an anemometer can be configured for. The program does not guess a message
// layout: the user picks a format by name, and the table of names and field letters is read from
// the format-definition text (resources/OutputFormats.txt), compiled into this library.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// One table entry: a name and one letter per comma-separated field of a message.
struct OutputFormat {
    std::string name;
    std::string letters;
};

// What a list control shows after FillFormatList: the names in table order and the selected row.
struct FormatList {
    std::vector<std::string> names;
    int selected = 0;
};

// The format-definition text shipped with the program, exactly as in resources/OutputFormats.txt.
std::string_view OutputFormatsText();

// Splits a text into lines at LF; a CR before the LF is dropped, so CRLF text reads the same.
std::vector<std::string> SplitLines(std::string_view text);

// Case-sensitive substring tests on a format name. POLAR formats carry magnitude and direction;
// NMEA formats start with "$" and put their checksum after "*" instead of STX ... ETX.
bool IsPolarFormat(std::string_view name);
bool IsNmeaFormat(std::string_view name);

// The format offered alone when the definition text has no complete :START ... :END block.
inline constexpr std::string_view kDefaultFormatName = "VARN_POLAR_TWO_AXIS";
inline constexpr std::string_view kDefaultFormatLetters = "IDMN";

class OutputFormatTable {
public:
    static constexpr int kMaxFormats = 25;

    // The table reads the shipped definition text unless given other lines.
    OutputFormatTable();
    explicit OutputFormatTable(std::vector<std::string> definitionLines);

    void SetDefinitionLines(std::vector<std::string> lines) { lines_ = std::move(lines); }
    const std::vector<std::string>& DefinitionLines() const { return lines_; }

    // Rebuilds the table from the definition lines; false (count unchanged) when the text lacks
    // a line with ":START" or a later line with ":END". Entries past the 25th are dropped.
    bool LoadFormats();
    bool LoadFormats(const std::vector<std::string>& lines);

    // Runs LoadFormats and returns the names for a list with row 0 selected (-1 for a block
    // without entries); on a failed load the table holds only the default format (count 1),
    // which the list then offers alone.
    FormatList FillFormatList();

    int Count() const { return count_; }
    // Any position is safe: outside the 25 slots the name and letters are empty.
    std::string FormatNameAt(int position) const;
    std::string FormatLettersAt(int position) const;

private:
    std::vector<std::string> lines_;
    std::array<OutputFormat, kMaxFormats> formats_{};
    int count_ = 0;
};

}  // namespace vx
