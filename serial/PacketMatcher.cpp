#include "serial/PacketMatcher.h"

#include "serial/Serexcept.h"

#include <algorithm>
#include <cstring>

namespace vx {
namespace {

std::uint8_t Upper(std::uint8_t c) {
    return (c >= 'a' && c <= 'z') ? static_cast<std::uint8_t>(c - 'a' + 'A') : c;
}

}  // namespace

// ======================= PacketPattern =======================

PacketPattern::PacketPattern(const std::string& text, bool ignoreCase) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<std::uint8_t>(text[i]);
        bool wild = false;
        if (c == '\\' && i + 1 < text.size()) {
            c = static_cast<std::uint8_t>(text[++i]);
        } else if (c == '\\') {
            continue;  // a lone trailing backslash escapes nothing
        } else if (c == '?') {
            wild = true;
        }
        bytes_.push_back(static_cast<char>(ignoreCase ? Upper(c) : c));
        wild_.push_back(wild);
    }
    single_ = bytes_.size() == 1 && !wild_[0];
    if (single_) {
        const std::uint8_t c = At(0);
        other_ = (ignoreCase && c >= 'A' && c <= 'Z') ? static_cast<std::uint8_t>(c + 32) : c;
    }
}

const std::uint8_t* PacketPattern::Find(const std::uint8_t* data, std::size_t size) const {
    const std::uint8_t c = At(0);
    if (other_ == c) {
        return static_cast<const std::uint8_t*>(std::memchr(data, c, size));
    }
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == c || data[i] == other_) {
            return data + i;
        }
    }
    return nullptr;
}

// ======================= PacketMatcher =======================

int PacketMatcher::Arm() {
    PacketPattern start, end;
    if (rules_.startCond == scString) {
        start = PacketPattern(rules_.startString, rules_.ignoreCase);
        if (start.Empty()) {
            return ecStartStringEmpty;
        }
        if ((rules_.endCond & ecPacketSize) &&
            rules_.packetSize < static_cast<std::int32_t>(rules_.startString.size())) {
            return ecPacketTooSmall;
        }
    } else if (rules_.endCond == 0) {
        return ecNoEndCharCount;
    }
    if (rules_.endCond & ecString) {
        end = PacketPattern(rules_.endString, rules_.ignoreCase);
        if (end.Empty()) {
            return ecEmptyEndString;
        }
    }
    if ((rules_.endCond & ecPacketSize) && rules_.packetSize == 0) {
        return ecZeroSizePacket;
    }
    startPattern_ = std::move(start);
    endPattern_ = std::move(end);
    mode_ = dpWaitStart;
    ResetPositions();
    return 0;
}

void PacketMatcher::ResetPositions() {
    startMatch_ = 1;
    beginPos_ = -1;
    endMatch_ = 1;
}

void PacketMatcher::Stop() {
    mode_ = dpIdle;
    ResetPositions();
}

std::uint8_t PacketMatcher::Fold(std::uint8_t byte) const {
    return rules_.ignoreCase ? Upper(byte) : byte;
}

bool PacketMatcher::CompleteAt(std::size_t p) {
    packetPos_ = static_cast<std::size_t>(beginPos_);
    packetLength_ = p - packetPos_ + 1;
    return true;
}

PacketMatch PacketMatcher::Match(const std::uint8_t* data, std::size_t length, std::size_t p) {
    began_ = false;
    bool completed = false;
    while (p < length && !completed) {
        if (mode_ == dpWaitStart) {
            completed = MatchWaitStart(data, length, p);
        } else if (mode_ == dpCollecting) {
            completed = MatchCollecting(data, length, p);
            break;
        } else {
            break;
        }
    }
    return PacketMatch{began_, completed};
}

// Returns true when the start alone completed a packet; leaves p after the byte it consumed.
bool PacketMatcher::MatchWaitStart(const std::uint8_t* data, std::size_t length, std::size_t& p) {
    if (rules_.startCond == scAnyData) {
        beginPos_ = static_cast<std::ptrdiff_t>(p);
        return BeginCollecting(data, length, p, false);
    }
    if (startPattern_.Single() && startMatch_ == 1) {
        // One comparison per byte: jump to the next start character.
        const std::uint8_t* hit = startPattern_.Find(data + p, length - p);
        if (!hit) {
            p = length;
            return false;
        }
        p = static_cast<std::size_t>(hit - data);
        beginPos_ = static_cast<std::ptrdiff_t>(p);
        return BeginCollecting(data, length, p, true);
    }
    const std::uint8_t byte = Fold(data[p]);
    if (startPattern_.Matches(startMatch_ - 1, byte)) {
        if (startMatch_ == 1) {
            beginPos_ = static_cast<std::ptrdiff_t>(p);
        }
        if (startMatch_ == startPattern_.Size()) {
            startMatch_ = 1;
            return BeginCollecting(data, length, p, true);
        }
        ++startMatch_;
        ++p;
        return false;
    }
    if (startMatch_ > 1) {
        // Resume the scan at the byte after the one that began the failed match.
        p = static_cast<std::size_t>(beginPos_) + 1;
        beginPos_ = -1;
        startMatch_ = 1;
        return false;
    }
    ++p;
    return false;
}

// The start ends at p (when startConsumed) or the packet's first byte is p (any-data start).
bool PacketMatcher::BeginCollecting(const std::uint8_t* data, std::size_t length, std::size_t& p,
                                    bool startConsumed) {
    mode_ = dpCollecting;
    if (rules_.endCond == 0) {
        return CompleteAt(p);
    }
    endMatch_ = 1;
    began_ = true;
    const std::size_t size = p - static_cast<std::size_t>(beginPos_) + 1;
    if (startConsumed && (rules_.endCond & ecPacketSize) &&
        size >= static_cast<std::size_t>(rules_.packetSize)) {
        return CompleteAt(p);
    }
    if (startConsumed) {
        ++p;
    }
    // The first byte of an any-data packet is data: the end test sees it.
    return MatchCollecting(data, length, p);
}

bool PacketMatcher::MatchCollecting(const std::uint8_t* data, std::size_t length, std::size_t& p) {
    const auto begin = static_cast<std::size_t>(beginPos_);
    const bool bySize = (rules_.endCond & ecPacketSize) != 0;
    const bool byString = (rules_.endCond & ecString) != 0;
    if (byString && !bySize && endPattern_.Single() && endMatch_ == 1) {
        const std::uint8_t* hit = endPattern_.Find(data + p, length - p);
        if (!hit) {
            p = length;
            return false;
        }
        p = static_cast<std::size_t>(hit - data);
        return CompleteAt(p);
    }
    for (; p < length; ++p) {
        if (byString) {
            const std::uint8_t byte = Fold(data[p]);
            if (endPattern_.Matches(endMatch_ - 1, byte)) {
                if (endMatch_ == endPattern_.Size()) {
                    return CompleteAt(p);
                }
                ++endMatch_;
            } else if (endMatch_ > 1) {
                // Realign: the failing byte may itself begin the end string.
                endMatch_ = 1;
                if (endPattern_.Matches(0, byte)) {
                    if (endPattern_.Size() == 1) {
                        return CompleteAt(p);
                    }
                    endMatch_ = 2;
                }
            }
        }
        if (bySize && p - begin + 1 >= static_cast<std::size_t>(rules_.packetSize)) {
            return CompleteAt(p);
        }
    }
    return false;
}

std::string PacketMatcher::DeliveredPacket(const std::uint8_t* data) const {
    std::size_t skipFront = 0;
    std::size_t cutBack = 0;
    if (!rules_.includeStrings) {
        skipFront = rules_.startCond == scString ? startPattern_.Size() : 0;
        cutBack = (rules_.endCond & ecString) ? endPattern_.Size() : 0;
        if (skipFront + cutBack > packetLength_) {
            skipFront = std::min(skipFront, packetLength_);
            cutBack = packetLength_ - skipFront;
        }
    }
    return std::string(reinterpret_cast<const char*>(data + packetPos_ + skipFront),
                       packetLength_ - skipFront - cutBack);
}

}  // namespace vx
