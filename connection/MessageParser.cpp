#include "connection/MessageParser.h"

#include <charconv>
#include <cmath>

namespace vx {

namespace {

bool IsControlOrSpace(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

// White space as the C library's scanf skips it.
bool IsScanSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Sign, digits with an optional fraction (at least one digit in all), an optional exponent.
bool IsDecimalNumber(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        std::size_t exponentDigits = 0;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return false;
        }
    }
    return i == text.size();
}

}  // namespace

Framing FramingFor(bool nmea) {
    return nmea ? Framing{'$', '*'} : Framing{kStx, kEtx};
}

bool CheckMessage(std::string_view message, bool nmea) {
    const Framing framing = FramingFor(nmea);
    if (message.size() < kMinMessageLength || message.front() != framing.start) {
        return false;
    }
    const std::size_t delimiter = message.find(framing.delimiter, 1);
    if (delimiter == std::string_view::npos) {
        return false;
    }
    unsigned checksum = 0;
    for (std::size_t i = 1; i < delimiter; ++i) {
        checksum ^= static_cast<unsigned char>(message[i]);
    }
    std::size_t i = delimiter + 1;
    while (i < message.size() && IsScanSpace(message[i])) {
        ++i;
    }
    // Only the low eight bits of the number count, so longer numbers keep just those.
    unsigned value = 0;
    bool anyDigit = false;
    for (; i < message.size(); ++i) {
        const int digit = HexDigitValue(message[i]);
        if (digit < 0) {
            break;
        }
        value = ((value << 4) | static_cast<unsigned>(digit)) & 0xFFu;
        anyDigit = true;
    }
    return anyDigit && value == checksum;
}

std::string_view TrimControl(std::string_view text) {
    while (!text.empty() && IsControlOrSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsControlOrSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

int SplitFields(std::string_view text, int letterCount, std::vector<std::string_view>& slots) {
    slots.clear();
    const std::size_t wanted = letterCount > 0 ? static_cast<std::size_t>(letterCount) : 0;
    std::size_t fieldBegin = 0;
    std::size_t i = 0;
    for (; i < text.size() && slots.size() < wanted; ++i) {
        if (text[i] == ',') {
            slots.push_back(text.substr(fieldBegin, i - fieldBegin));
            fieldBegin = i + 1;
        }
    }
    slots.push_back(text.substr(fieldBegin, i - fieldBegin));
    return static_cast<int>(slots.size());
}

double ReadFieldValue(std::string_view field) {
    field = TrimControl(field);
    if (!IsDecimalNumber(field)) {
        return 0;
    }
    // from_chars takes no "+" and always reads "." whatever the locale.
    if (field.front() == '+') {
        field.remove_prefix(1);
    }
    double value = 0;
    const auto result = std::from_chars(field.data(), field.data() + field.size(), value);
    if (result.ec != std::errc() || result.ptr != field.data() + field.size() ||
        !std::isfinite(value)) {
        return 0;
    }
    return value;
}

void ParseState::Apply(std::string_view name, std::string_view letters) {
    formatName = std::string(name);
    formatLetters = std::string(letters);
    letterCount = static_cast<int>(letters.size());
    polar = name.find("POLAR") != std::string_view::npos;
    auto setPosition = [&](char letter, int& position) {
        const std::size_t at = letters.find(letter);
        if (at != std::string_view::npos) {
            position = static_cast<int>(at);
        }
    };
    setPosition('M', positionM);
    setPosition('D', positionD);
    setPosition('U', positionU);
    setPosition('V', positionV);
    setPosition('N', positionN);
    const std::size_t w = letters.find('W');
    positionW = w == std::string_view::npos ? -1 : static_cast<int>(w);
}

}  // namespace vx
