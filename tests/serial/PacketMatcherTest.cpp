// The framer's matching and its collection buffer as plain values: no port, lock or thread.

#include "serial/CollectionBuffer.h"
#include "serial/PacketMatcher.h"
#include "serial/Serexcept.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vx {
namespace {

// ---- Patterns ----

struct PatternCase {
    const char* name;
    std::string text;
    bool ignoreCase;
    std::string bytes;  // as compared
    std::string wild;   // '1' where a position matches any byte
    bool single;
};

TEST(PacketPattern, BuildsEscapesWildcardsAndCase) {
    const std::vector<PatternCase> cases = {
        {"control byte", "\x02", false, "\x02", "0", true},
        {"letters upper-cased", "ab", true, "AB", "00", false},
        {"case kept", "ab", false, "ab", "00", false},
        {"wildcard", "a?b", false, "a?b", "010", false},
        {"escaped wildcard is literal", "a\\?b", false, "a?b", "000", false},
        {"escaped backslash", "\\\\", false, "\\", "0", true},
        {"lone trailing backslash dropped", "x\\", false, "x", "0", true},
        {"only a backslash", "\\", false, "", "", false},
        {"empty", "", true, "", "", false},
        {"a lone wildcard is no single byte", "?", false, "?", "1", false},
        {"escaped letter is folded too", "\\a", true, "A", "0", true},
    };
    for (const PatternCase& c : cases) {
        SCOPED_TRACE(c.name);
        const PacketPattern pattern(c.text, c.ignoreCase);
        std::string bytes, wild;
        for (std::size_t i = 0; i < pattern.Size(); ++i) {
            bytes.push_back(static_cast<char>(pattern.At(i)));
            wild.push_back(pattern.IsWild(i) ? '1' : '0');
        }
        EXPECT_EQ(bytes, c.bytes);
        EXPECT_EQ(wild, c.wild);
        EXPECT_EQ(pattern.Single(), c.single);
        EXPECT_EQ(pattern.Empty(), c.bytes.empty());
    }
}

TEST(PacketPattern, FindsASingleByteInEitherCaseOnlyWhenCaseIsIgnored) {
    const std::string data = "xyaBA";
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    EXPECT_EQ(PacketPattern("a", true).Find(bytes, data.size()), bytes + 2);
    EXPECT_EQ(PacketPattern("A", true).Find(bytes, data.size()), bytes + 2);
    EXPECT_EQ(PacketPattern("A", false).Find(bytes, data.size()), bytes + 4);
    EXPECT_EQ(PacketPattern("q", true).Find(bytes, data.size()), nullptr);
    EXPECT_EQ(PacketPattern("$", true).Find(bytes, 0), nullptr);
}

// ---- Matching ----

// Plays the manager with AutoEnable on: keeps the bytes, removes each delivered packet with what
// precedes it, re-arms and matches the rest from the front; discards bytes no match holds.
class Framing {
public:
    explicit Framing(const PacketRules& rules) { matcher_.Rules() = rules; }
    int Arm() { return matcher_.Arm(); }
    void Feed(const std::string& chunk) {
        std::size_t from = buffer_.size();
        buffer_ += chunk;
        for (;;) {
            const PacketMatch match = matcher_.Match(Bytes(), buffer_.size(), from);
            began_ += match.began ? 1 : 0;
            if (!match.completed) {
                break;
            }
            packets_.push_back(matcher_.DeliveredPacket(Bytes()));
            buffer_.erase(0, matcher_.PacketEnd());
            EXPECT_EQ(matcher_.Arm(), 0);
            from = 0;
        }
        if (!matcher_.HoldsBegin()) {
            buffer_.clear();
        }
    }
    const std::vector<std::string>& Packets() const { return packets_; }
    const PacketMatcher& Matcher() const { return matcher_; }
    const std::string& Kept() const { return buffer_; }
    int Began() const { return began_; }

private:
    const std::uint8_t* Bytes() const {
        return reinterpret_cast<const std::uint8_t*>(buffer_.data());
    }
    PacketMatcher matcher_;
    std::string buffer_;
    std::vector<std::string> packets_;
    int began_ = 0;
};

PacketRules ByString(const std::string& start, const std::string& end, bool ignoreCase = true) {
    PacketRules rules;
    rules.startString = start;
    rules.endString = end;
    rules.endCond = ecString;
    rules.ignoreCase = ignoreCase;
    return rules;
}

PacketRules BySize(const std::string& start, std::int32_t size, TPacketEndSet extra = 0,
                   const std::string& end = "") {
    PacketRules rules = ByString(start, end);
    rules.endCond = ecPacketSize | extra;
    rules.packetSize = size;
    return rules;
}

struct MatchCase {
    const char* name;
    PacketRules rules;
    std::vector<std::string> chunks;
    std::vector<std::string> packets;
};

TEST(PacketMatcher, CutsStreamsIntoPackets) {
    PacketRules anyData = BySize("", 3);
    anyData.startCond = scAnyData;
    PacketRules noEnd = ByString("AB", "");
    noEnd.endCond = 0;
    PacketRules stripped = ByString("$", "\r\n");
    stripped.includeStrings = false;
    PacketRules shortStripped = BySize("$", 2, ecString, "\r\n");
    shortStripped.includeStrings = false;

    const std::vector<MatchCase> cases = {
        {"message, line feed passed over, next start kept",
         ByString("\x02", "\r"),
         {"\x02Q,1.23,M\x03"
          "4F\r\n\x02Q,2"},
         {"\x02Q,1.23,M\x03"
          "4F\r"}},
        {"bytes before the first start dropped",
         ByString("$", "\r"),
         {"12.5*3A\r\n$WI*00\r"},
         {"$WI*00\r"}},
        {"a second start is a byte of the packet", ByString("$", "\r"), {"$AB$CD\r"}, {"$AB$CD\r"}},
        {"two packets in one chunk, in order", ByString("$", "\r"), {"$a\r$b\r"}, {"$a\r", "$b\r"}},
        {"split over chunks, delivered once",
         ByString("$", "\r"),
         {"x", "$a", "b", "c\r"},
         {"$abc\r"}},
        {"failed partial start resumes after its first byte",
         ByString("AB", "\r"),
         {"AAB1\r"},
         {"AB1\r"}},
        {"partial start across chunks", ByString("AB", "\r"), {"xA", "B1\r"}, {"AB1\r"}},
        {"multi-character end realigns", ByString("$", "\r\n"), {"$a\r\r\n"}, {"$a\r\r\n"}},
        {"wildcard start", ByString("?X", "\r"), {"aXb\r"}, {"aXb\r"}},
        {"case ignored", ByString("ab", "\r"), {"xAbq\r"}, {"Abq\r"}},
        {"case kept", ByString("ab", "\r", false), {"xAbq\rabz\r"}, {"abz\r"}},
        {"escaped wildcard is literal", ByString("\\?", "\r"), {"a?b\r"}, {"?b\r"}},
        {"size", BySize("$", 4), {"x$abcdef"}, {"$abc"}},
        {"size or end, whichever first",
         BySize("$", 5, ecString, "\r"),
         {"$a\r$abcdefg"},
         {"$a\r", "$abcd"}},
        {"a start that fills the size", BySize("$$", 2), {"$$$$"}, {"$$", "$$"}},
        {"any data by size", anyData, {"abcdefg"}, {"abc", "def"}},
        {"no end: the start is the packet", noEnd, {"xxABAB"}, {"AB", "AB"}},
        {"strings stripped", stripped, {"$abc\r\n"}, {"abc"}},
        {"a packet cut short by size loses no more than it has", shortStripped, {"$ab"}, {""}},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(c.name);
        Framing framing(c.rules);
        ASSERT_EQ(framing.Arm(), 0);
        for (const std::string& chunk : c.chunks) {
            framing.Feed(chunk);
        }
        EXPECT_EQ(framing.Packets(), c.packets);
    }
}

TEST(PacketMatcher, KeepsOnlyTheBytesOfAMatchInProgress) {
    Framing framing(ByString("$", "\r"));
    ASSERT_EQ(framing.Arm(), 0);
    framing.Feed("noise");
    EXPECT_EQ(framing.Kept(), "");
    EXPECT_EQ(framing.Matcher().Mode(), dpWaitStart);
    framing.Feed("tail$WI,1");
    EXPECT_EQ(framing.Kept(), "tail$WI,1");  // removed with the packet, not before
    EXPECT_EQ(framing.Matcher().Mode(), dpCollecting);
    framing.Feed("*00\r");
    EXPECT_EQ(framing.Kept(), "");
    EXPECT_EQ(framing.Packets(), std::vector<std::string>{"$WI,1*00\r"});
}

TEST(PacketMatcher, ReportsEachPacketThatBeganWithAnEndToWaitFor) {
    Framing byEnd(ByString("$", "\r"));
    ASSERT_EQ(byEnd.Arm(), 0);
    byEnd.Feed("$a");
    EXPECT_EQ(byEnd.Began(), 1);
    byEnd.Feed("b");  // still the same packet
    EXPECT_EQ(byEnd.Began(), 1);
    byEnd.Feed("\r$c\r");
    EXPECT_EQ(byEnd.Began(), 2);

    PacketRules rules = ByString("$", "");
    rules.endCond = 0;
    Framing noEnd(rules);
    ASSERT_EQ(noEnd.Arm(), 0);
    noEnd.Feed("$$");
    EXPECT_EQ(noEnd.Packets().size(), 2u);
    EXPECT_EQ(noEnd.Began(), 0);  // nothing to wait for, so nothing to time out
}

TEST(PacketMatcher, StopAbandonsAMatchAndIdlesUntilArmed) {
    Framing framing(ByString("$", "\r"));
    ASSERT_EQ(framing.Arm(), 0);
    framing.Feed("$half");
    PacketMatcher matcher = framing.Matcher();
    matcher.Stop();
    EXPECT_EQ(matcher.Mode(), dpIdle);
    EXPECT_FALSE(matcher.HoldsBegin());
    const std::string rest = "rest\r$x\r";
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(rest.data());
    EXPECT_FALSE(matcher.Match(bytes, rest.size(), 0).completed);
    ASSERT_EQ(matcher.Arm(), 0);
    ASSERT_TRUE(matcher.Match(bytes, rest.size(), 0).completed);
    EXPECT_EQ(matcher.DeliveredPacket(bytes), "$x\r");
}

struct ArmCase {
    const char* name;
    PacketRules rules;
    int code;
};

TEST(PacketMatcher, ArmingRefusesBrokenRulesAndChangesNothing) {
    PacketRules anyNoEnd;
    anyNoEnd.startCond = scAnyData;
    PacketRules anyZero = BySize("", 0);
    anyZero.startCond = scAnyData;
    const std::vector<ArmCase> cases = {
        {"empty start", ByString("", "\r"), ecStartStringEmpty},
        {"start of only a backslash", ByString("\\", "\r"), ecStartStringEmpty},
        {"size smaller than the start", BySize("abc", 2), ecPacketTooSmall},
        {"any data without an end", anyNoEnd, ecNoEndCharCount},
        {"empty end", ByString("$", ""), ecEmptyEndString},
        {"zero size", anyZero, ecZeroSizePacket},
        {"the connection's rules", ByString("$", "\r"), 0},
    };
    for (const ArmCase& c : cases) {
        SCOPED_TRACE(c.name);
        PacketMatcher matcher;
        matcher.Rules() = c.rules;
        EXPECT_EQ(matcher.Arm(), c.code);
        EXPECT_EQ(matcher.Mode(), c.code == 0 ? dpWaitStart : dpIdle);
    }
}

// ---- Collection buffer ----

std::string Contents(const CollectionBuffer& buffer) {
    return std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Length());
}

TEST(CollectionBuffer, GrowsInStepsAndIsFreedWhenEmptied) {
    CollectionBuffer buffer;
    EXPECT_EQ(buffer.Capacity(), 0u);
    buffer.Append("a", 1);
    EXPECT_EQ(buffer.Capacity(), CollectionBuffer::kStep);
    const std::string more(CollectionBuffer::kStep - 1, 'b');
    buffer.Append(more.data(), more.size());  // a full buffer takes another step
    EXPECT_EQ(buffer.Length(), CollectionBuffer::kStep);
    EXPECT_EQ(buffer.Capacity(), 2 * CollectionBuffer::kStep);
    buffer.RemoveFront(buffer.Length() + 5);
    EXPECT_EQ(buffer.Length(), 0u);
    EXPECT_EQ(buffer.Capacity(), 0u);
}

TEST(CollectionBuffer, KeepsTheRestInOrderWhileTheFrontIsRemoved) {
    CollectionBuffer buffer;
    std::string expected;
    std::string chunk(3000, ' ');
    for (int round = 0; round < 20; ++round) {
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            chunk[i] = static_cast<char>('a' + (round * 7 + i) % 26);
        }
        // Read straight into the room, as bytes from the dispatcher are.
        std::copy(chunk.begin(), chunk.end(), buffer.Reserve(chunk.size()));
        buffer.Commit(chunk.size());
        expected += chunk;
        const std::size_t drop = 2500 + round;
        buffer.RemoveFront(drop);
        expected.erase(0, drop);
        ASSERT_EQ(Contents(buffer), expected) << "round " << round;
    }
    // Removing from the front never grows it: the rest moves down when room is needed.
    EXPECT_LE(buffer.Capacity(), 2 * CollectionBuffer::kStep);
    buffer.Discard();
    EXPECT_EQ(buffer.Length(), 0u);
    EXPECT_EQ(buffer.Capacity(), 0u);
}

}  // namespace
}  // namespace vx
