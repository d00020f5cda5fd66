#pragma once
// Builds framed messages as an anemometer sends them.

#include <cstdio>
#include <string>
#include <string_view>

namespace vx::test {

inline unsigned XorOf(std::string_view body) {
    unsigned x = 0;
    for (char c : body) {
        x ^= static_cast<unsigned char>(c);
    }
    return x;
}

inline std::string Hex2(unsigned value) {
    static const char* kDigits = "0123456789ABCDEF";
    return {kDigits[(value >> 4) & 15], kDigits[value & 15]};
}

// STX body ETX checksum CR
inline std::string StxMessage(std::string_view body) {
    return "\x02" + std::string(body) + "\x03" + Hex2(XorOf(body)) + "\r";
}

// $ body * checksum CR
inline std::string NmeaMessage(std::string_view body) {
    return "$" + std::string(body) + "*" + Hex2(XorOf(body)) + "\r";
}

}  // namespace vx::test
