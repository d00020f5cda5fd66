#pragma once
// The message test and the field splitter. A message is one framed string as the framer delivers
// it: start character ("$" for NMEA formats, STX otherwise) through CR, both included.

#include <string>
#include <string_view>
#include <vector>

namespace vx {

inline constexpr char kStx = '\x02';
inline constexpr char kEtx = '\x03';
inline constexpr char kCr = '\r';

struct Framing {
    char start;      // first character of a message
    char delimiter;  // the checksum follows the first of these
};

// "$" and "*" for NMEA formats, STX and ETX for every other format.
Framing FramingFor(bool nmea);

// Messages shorter than this (start and end characters included) are never accepted.
inline constexpr std::size_t kMinMessageLength = 10;

// True when the message starts with the start character, is at least 10 characters long and the
// XOR of the bytes after the start up to the first delimiter equals the low eight bits of the hex
// number after the delimiter. The number is read as "%x" does: leading white space is skipped and
// reading stops at the first character that is not a hex digit, so "*b", "*0B" and "*0bz" all
// read 0x0B. No sign and no "0x" prefix is taken (a checksum never carries one).
bool CheckMessage(std::string_view message, bool nmea);

// Strips characters with codes 0 to 32 (control characters and space) from both ends: drops STX
// and CR, keeps "$".
std::string_view TrimControl(std::string_view text);

// Cuts `text` at commas into at most letterCount + 1 slots and returns the slot count. With L
// letters, a message with L or more commas fills slots 0..L-1 with its first L fields and slot L
// with an empty text (what follows the L-th comma is not kept); with fewer commas the last slot
// holds the rest of the text after the last comma. The views point into `text`.
int SplitFields(std::string_view text, int letterCount, std::vector<std::string_view>& slots);

// A field's value as a decimal number with "." as the decimal point, whatever the locale.
// Surrounding spaces and control characters are ignored; an optional sign ("+" or "-"), digits
// with an optional fraction and an optional exponent must make up the whole field. An empty
// field or anything else (trailing junk such as "1.5x", "inf", "nan", hex, a value beyond the
// range of a double) reads as 0, as the instrument's own software treats a field it cannot read.
double ReadFieldValue(std::string_view field);

// The part of a connection's parse state derived from the selected format.
struct ParseState {
    std::string formatName;
    std::string formatLetters;
    int letterCount = 0;
    bool polar = false;
    // 0-based field positions; a letter missing from the format keeps its previous position (0
    // at first), so a format lacking one reads whatever field that position holds.
    int positionM = 0;
    int positionD = 0;
    int positionU = 0;
    int positionV = 0;
    int positionN = 0;
    int positionW = -1;  // -1: the format has no W field

    bool HasW() const { return positionW >= 0; }
    // Derives the state from a format's name and letters (the parse part of ApplyFormat).
    void Apply(std::string_view name, std::string_view letters);
};

}  // namespace vx
