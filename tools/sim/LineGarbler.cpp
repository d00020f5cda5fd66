#include "tools/sim/LineGarbler.h"

namespace vx::sim {

namespace {

constexpr std::int64_t kBitsPerFrame = 10;  // start, eight data bits, stop
constexpr unsigned kFramingKept = 8;        // one in this many framing characters survives

bool IsFramingCharacter(unsigned value) {
    return value == 0x02 || value == 0x03 || value == '$' || value == '*' || value == '\r';
}

// Time is counted in half-units of 1 / (txBaud * rxBaud) seconds, so every bit edge and every
// mid-bit sampling instant of both sides is a whole number.
class Line {
public:
    Line(const std::string& bytes, std::int64_t txBitTime) : bytes_(bytes), txBitTime_(txBitTime) {}

    bool Level(std::int64_t time) const {
        const std::int64_t bit = time / txBitTime_;
        if (time < 0 || bit >= End()) {
            return true;  // idle
        }
        const std::int64_t inFrame = bit % kBitsPerFrame;
        if (inFrame == 0) {
            return false;
        }
        if (inFrame == kBitsPerFrame - 1) {
            return true;
        }
        const auto byte = static_cast<unsigned char>(bytes_[bit / kBitsPerFrame]);
        return (byte >> (inFrame - 1)) & 1;
    }

    // The first instant at or after `time` when the line is low, or -1 when it stays idle.
    std::int64_t NextLow(std::int64_t time) const {
        if (Level(time) == false) {
            return time;
        }
        for (std::int64_t bit = time / txBitTime_ + 1; bit < End(); ++bit) {
            if (!Level(bit * txBitTime_)) {
                return bit * txBitTime_;
            }
        }
        return -1;
    }

private:
    std::int64_t End() const { return static_cast<std::int64_t>(bytes_.size()) * kBitsPerFrame; }

    const std::string& bytes_;
    std::int64_t txBitTime_;
};

}  // namespace

std::string GarbleForBaud(const std::string& bytes, std::uint32_t txBaud, std::uint32_t rxBaud) {
    if (txBaud == rxBaud || txBaud == 0 || rxBaud == 0) {
        return bytes;
    }
    const std::int64_t txBitTime = 2 * static_cast<std::int64_t>(rxBaud);
    const std::int64_t rxBitTime = 2 * static_cast<std::int64_t>(txBaud);
    const Line line(bytes, txBitTime);

    std::string received;
    std::int64_t time = 0;
    unsigned framingSeen = 0;
    while (true) {
        const std::int64_t start = line.NextLow(time);
        if (start < 0) {
            break;
        }
        unsigned value = 0;
        for (int bit = 0; bit < 8; ++bit) {
            const std::int64_t sample = start + rxBitTime * (bit + 1) + rxBitTime / 2;
            value |= (line.Level(sample) ? 1u : 0u) << bit;
        }
        // A low stop-bit sample is a framing error; the driver in raw mode still hands the byte
        // over, so it is kept.
        if (IsFramingCharacter(value) && framingSeen++ % kFramingKept != 0) {
            value |= 0x80;
        }
        received += static_cast<char>(value);
        time = start + rxBitTime * (kBitsPerFrame - 1) + rxBitTime / 2;
    }
    return received;
}

}  // namespace vx::sim
