#pragma once
// The framer's matching, apart from ports, locks and threads: the rules of a packet, its start
// and end patterns, and the positions of a match in progress over a collection buffer that the
// caller owns. One matcher per framer; TSerDataPacket (serial/Serpacket.h) drives it.
//
//     PacketMatcher matcher;
//     matcher.Rules().startString = "$";
//     matcher.Rules().endCond = ecString;
//     matcher.Rules().endString = "\r";
//     matcher.Arm();                                   // 0, or an error code
//     PacketMatch m = matcher.Match(data, length, 0);  // m.completed: PacketBegin(), PacketSize()

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vx {

enum TPacketStartCond { scString, scAnyData };
enum TPacketEndCond { ecString = 1, ecPacketSize = 2 };
using TPacketEndSet = unsigned;  // a set of TPacketEndCond bits
enum TPacketMode { dpIdle, dpWaitStart, dpCollecting };

// A start or end string made ready for matching: a backslash makes the next character literal
// and is itself dropped (a lone trailing one escapes nothing), "?" matches any byte; with case
// ignored, ASCII letters are upper-cased (bytes are folded the same way before comparing).
class PacketPattern {
public:
    PacketPattern() = default;
    PacketPattern(const std::string& text, bool ignoreCase);

    std::size_t Size() const { return bytes_.size(); }
    bool Empty() const { return bytes_.empty(); }
    // The byte at `index` as compared (upper-cased when case is ignored) and whether it is a
    // wildcard.
    std::uint8_t At(std::size_t index) const { return static_cast<std::uint8_t>(bytes_[index]); }
    bool IsWild(std::size_t index) const { return wild_[index]; }
    bool Matches(std::size_t index, std::uint8_t foldedByte) const {
        return wild_[index] || At(index) == foldedByte;
    }
    // One literal byte: found with one comparison per byte instead of a match per byte.
    bool Single() const { return single_; }
    // The first occurrence of a Single() pattern in data[0..size), in either case when case is
    // ignored; nullptr when there is none.
    const std::uint8_t* Find(const std::uint8_t* data, std::size_t size) const;

private:
    std::string bytes_;
    std::vector<bool> wild_;
    bool single_ = false;
    std::uint8_t other_ = 0;  // a Single() letter's other case when case is ignored, else itself
};

// What a framer's properties say about a packet.
struct PacketRules {
    TPacketStartCond startCond = scString;
    TPacketEndSet endCond = 0;
    std::string startString;
    std::string endString;
    bool ignoreCase = true;
    std::int32_t packetSize = 0;
    bool includeStrings = true;
};

struct PacketMatch {
    bool began = false;      // a packet with an end condition began: the match holds the capture
    bool completed = false;  // a whole packet lies at PacketBegin() for PacketSize() bytes
};

class PacketMatcher {
public:
    // Strings and conditions count from the next Arm; the case rule and the packet size count
    // at once, as a framer's properties do.
    PacketRules& Rules() { return rules_; }
    const PacketRules& Rules() const { return rules_; }

    // Builds the patterns and waits for a start. Returns 0, or the error code of the first rule
    // broken (an empty start or end string, a size that is zero or smaller than the start);
    // then nothing changes.
    int Arm();
    // A match in progress starts again from the first character of each pattern.
    void ResetPositions();
    // Idle: nothing is matched until the next Arm.
    void Stop();

    // Matches data[from..length), which continues the bytes matched before (the caller removes
    // a completed packet and what precedes it, then matches again from 0).
    PacketMatch Match(const std::uint8_t* data, std::size_t length, std::size_t from);

    TPacketMode Mode() const { return mode_; }
    // Bytes from the begin position on are part of a match in progress: they must be kept.
    bool HoldsBegin() const { return mode_ != dpIdle && beginPos_ >= 0; }
    // The last completed packet.
    std::size_t PacketBegin() const { return packetPos_; }
    std::size_t PacketSize() const { return packetLength_; }
    std::size_t PacketEnd() const { return packetPos_ + packetLength_; }
    // The bytes of the last completed packet that are delivered: all of them, or without the
    // start and end strings when IncludeStrings is off.
    std::string DeliveredPacket(const std::uint8_t* data) const;

private:
    bool MatchWaitStart(const std::uint8_t* data, std::size_t length, std::size_t& p);
    bool BeginCollecting(const std::uint8_t* data, std::size_t length, std::size_t& p,
                         bool startConsumed);
    bool MatchCollecting(const std::uint8_t* data, std::size_t length, std::size_t& p);
    bool CompleteAt(std::size_t p);
    std::uint8_t Fold(std::uint8_t byte) const;

    PacketRules rules_;
    TPacketMode mode_ = dpIdle;
    PacketPattern startPattern_, endPattern_;
    std::size_t startMatch_ = 1;  // the next start character to compare, from 1
    std::ptrdiff_t beginPos_ = -1;
    std::size_t endMatch_ = 1;  // the next end character to compare, from 1
    std::size_t packetPos_ = 0, packetLength_ = 0;
    bool began_ = false;
};

}  // namespace vx
