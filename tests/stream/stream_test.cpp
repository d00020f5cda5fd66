// ventrix-stream run as a program on real instrument captures and on made-up byte streams.

#include "tools/stream/StreamSession.h"
#include "tools/stream/StreamTable.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace vx {
namespace {

namespace fs = std::filesystem;

// Real captures kept in the repository with their provenance (SOURCES.md beside them).
const fs::path kTestData = fs::path(VX_SOURCE_DIR) / "tests" / "data" / "nmea";

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator)) {
        parts.push_back(part);
    }
    return parts;
}

struct StreamRun {
    int exitCode = -1;
    std::vector<std::vector<std::string>> rows;  // header excluded
    std::string header;
    std::string errors;
};

StreamRun RunStream(const std::string& arguments, const std::string& environment = "") {
    const test::TempFolder folder("vx-stream");
    const std::string errors = folder / "errors";
    const std::string command = environment +
                                " \"" VX_BINARY_DIR "/tools/stream/ventrix-stream\" " + arguments +
                                " 2>\"" + errors + "\"";
    StreamRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    std::string output;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.errors = test::ReadFile(errors);
    std::vector<std::string> lines = Split(output, '\n');
    if (!lines.empty()) {
        run.header = lines.front();
        for (std::size_t i = 1; i < lines.size(); ++i) {
            run.rows.push_back(Split(lines[i], '\t'));
        }
    }
    return run;
}

StreamRun RunStreamOnBytes(const std::string& options, const std::string& bytes) {
    const test::TempFolder folder("vx-stream");
    EXPECT_TRUE(test::WriteFile(folder / "input", bytes));
    return RunStream(options + " \"" + folder / "input" + "\"");
}

enum Column { kPacket, kAccepted, kValid, kMagnitude, kDirection, kU, kV, kW, kGust };

int CountColumn(const StreamRun& run, int column) {
    int count = 0;
    for (const auto& row : run.rows) {
        count += row.at(column) == "1";
    }
    return count;
}

unsigned XorOf(const std::string& text) {
    unsigned x = 0;
    for (char c : text) {
        x ^= static_cast<unsigned char>(c);
    }
    return x;
}

// The strict NMEA rule of the captures' own checker: "$" or "!", "*", exactly two hex digits
// and nothing after them, equal to the XOR between start and "*".
bool StrictChecksumOk(const std::string& sentence) {
    static const std::regex kPattern("([$!])([^*]*)\\*([0-9A-Fa-f]{2})");
    std::smatch match;
    if (!std::regex_match(sentence, match, kPattern)) {
        return false;
    }
    return XorOf(match[2]) == std::stoul(match[3], nullptr, 16);
}

// A "$" sentence whose checksum has one hex digit and is right once the dropped leading zero is
// put back: the instrument rule reads it like "%x", so it passes where the strict rule fails.
bool OneDigitChecksumOk(const std::string& sentence) {
    static const std::regex kPattern("\\$([^*]*)\\*([0-9A-Fa-f])");
    std::smatch match;
    return std::regex_match(sentence, match, kPattern) &&
           XorOf(match[1]) == std::stoul(match[2], nullptr, 16);
}

// A missing capture is a broken checkout, never a reason to pass: the fixture stops the test
// with the path it looked for.
class StreamCaptures : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"mwv_log_plaka.txt", "mwv_log_irene2015-garbled.txt",
                                 "mwv_corpus.tsv", "nmea_other.tsv"}) {
            ASSERT_TRUE(fs::is_regular_file(kTestData / name))
                << "test data missing: " << (kTestData / name)
                << " (it belongs to the repository: check out tests/data/nmea)";
        }
    }
};

TEST_F(StreamCaptures, PlakaLogEveryLineIsAPacketAndEveryChecksumPasses) {
    const std::string bytes = test::ReadFile(kTestData / "mwv_log_plaka.txt");
    const StreamRun run =
        RunStream("--format NMEA_POLAR \"" + (kTestData / "mwv_log_plaka.txt").string() + "\"");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    std::vector<std::string> lines = Split(bytes, '\n');
    ASSERT_EQ(lines.size(), 2000u);
    ASSERT_EQ(run.rows.size(), lines.size());
    int strict = 0;
    int mwv = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string sentence = lines[i].substr(0, lines[i].size() - 1);  // CR
        strict += StrictChecksumOk(sentence);
        const auto& row = run.rows[i];
        if (sentence.compare(3, 4, "MWV,") == 0) {
            ++mwv;
            // $IIMWV,angle,R|T,speed,N,A: knots to m/s, direction as sent.
            const std::vector<std::string> fields = Split(sentence, ',');
            ASSERT_EQ(fields[4], "N");
            EXPECT_EQ(row[kValid], "1") << sentence;
            EXPECT_NEAR(std::stod(row[kDirection]), std::stod(fields[1]), 1e-6) << sentence;
            EXPECT_NEAR(std::stod(row[kMagnitude]), std::stod(fields[3]) / 1.944, 1e-6) << sentence;
        }
    }
    EXPECT_EQ(mwv, 125);
    EXPECT_EQ(strict, 2000);
    EXPECT_EQ(CountColumn(run, kAccepted), strict);
}

TEST_F(StreamCaptures, IreneLogWithoutCarriageReturnsGivesNoPacket) {
    const fs::path path = kTestData / "mwv_log_irene2015-garbled.txt";
    const StreamRun lfOnly = RunStream("--format NMEA_POLAR \"" + path.string() + "\"");
    ASSERT_EQ(lfOnly.exitCode, 0) << lfOnly.errors;
    EXPECT_TRUE(lfOnly.rows.empty());  // messages end at CR only

    // With CR LF line ends the garbage lines frame as packets too; their checksums were
    // computed over the garbage, so they pass, and only a real mismatch is caught.
    std::string crlf;
    int dollarLines = 0;
    int strict = 0;
    int mwv = 0;
    for (const std::string& line : Split(test::ReadFile(path), '\n')) {
        crlf += line + "\r\n";
        const std::size_t start = line.find('$');
        if (start == std::string::npos) {
            continue;
        }
        ++dollarLines;
        strict += StrictChecksumOk(line.substr(start));
        mwv +=
            std::regex_match(line, std::regex("\\$IIMWV,\\d+,[RT],\\d+\\.\\d,N,A\\*[0-9A-F]{2}"));
    }
    const StreamRun run = RunStreamOnBytes("--format NMEA_POLAR --rate 1 --averaging 2", crlf);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.rows.size(), static_cast<std::size_t>(dollarLines));
    EXPECT_EQ(CountColumn(run, kAccepted), strict);
    EXPECT_EQ(mwv, 107);
    EXPECT_GE(CountColumn(run, kValid), mwv);
}

struct CorpusRow {
    std::string sentence;
    bool checksumOk;
    std::vector<std::string> cells;
};

std::vector<CorpusRow> ReadTsv(const fs::path& path) {
    std::vector<CorpusRow> rows;
    std::vector<std::string> lines = Split(test::ReadFile(path), '\n');
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> cells = Split(lines[i], '\t');
        rows.push_back({cells.at(0), cells.at(1) == "1", cells});
    }
    return rows;
}

TEST_F(StreamCaptures, MwvCorpusValuesMatchTheSentences) {
    const std::vector<CorpusRow> corpus = ReadTsv(kTestData / "mwv_corpus.tsv");
    ASSERT_EQ(corpus.size(), 39u);
    std::string bytes;
    for (const CorpusRow& row : corpus) {
        bytes += row.sentence + "\r\n";
    }
    const StreamRun run = RunStreamOnBytes("--format NMEA_POLAR", bytes);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    ASSERT_EQ(run.rows.size(), corpus.size());
    double factor = 0;  // carried across messages when a sentence has no units letter of ours
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        const CorpusRow& row = corpus[i];
        const auto& out = run.rows[i];
        // No corpus row has a one-digit or padded checksum, so both rules agree here.
        EXPECT_EQ(out[kAccepted] == "1", row.checksumOk) << row.sentence;
        const std::string unit = row.cells[5];
        if (!row.checksumOk) {
            continue;
        }
        if (unit == "M") {
            factor = 1;
        } else if (unit == "N") {
            factor = 1 / 1.944;
        } else if (unit == "K") {
            factor = 1 / 3.6;
        }
        // Five fields and the checksum make the six slots of IDRMNS; sentences without the
        // status field are one short and leave the sample alone.
        if (std::count(row.sentence.begin(), row.sentence.end(), ',') < 5) {
            EXPECT_EQ(out[kValid], "0") << row.sentence;
            continue;
        }
        // A units field without a letter of ours gives no trustworthy speed: not valid.
        if (unit.find_first_of("MNPKF") == std::string::npos) {
            EXPECT_EQ(out[kValid], "0") << row.sentence;
            continue;
        }
        const double angle = row.cells[2].empty() ? 0 : std::stod(row.cells[2]);
        const double speed = row.cells[4].empty() ? 0 : std::stod(row.cells[4]) * factor;
        EXPECT_EQ(out[kValid], "1") << row.sentence;
        EXPECT_NEAR(std::stod(out[kDirection]), angle, 1e-6) << row.sentence;
        EXPECT_NEAR(std::stod(out[kMagnitude]), speed, 1e-6) << row.sentence;
    }
}

TEST_F(StreamCaptures, OtherSentencesFollowTheLooseChecksumRule) {
    std::string bytes;
    std::vector<CorpusRow> framed;
    for (const CorpusRow& row : ReadTsv(kTestData / "nmea_other.tsv")) {
        if (row.sentence[0] == '$') {  // "!" and "#" lines never frame
            framed.push_back(row);
            bytes += row.sentence + "\r\n";
        }
    }
    const StreamRun run = RunStreamOnBytes("--format NMEA_POLAR", bytes);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    ASSERT_EQ(run.rows.size(), framed.size());
    for (std::size_t i = 0; i < framed.size(); ++i) {
        const std::string& s = framed[i].sentence;
        bool expected = framed[i].checksumOk;
        // The checksum was computed over Latin-1; this file holds the sentence in UTF-8 bytes.
        if (s.find("Beschr") != std::string::npos) {
            expected = false;
        }
        EXPECT_EQ(run.rows[i][kAccepted] == "1", expected) << s;
    }
}

std::string Stx(const std::string& body) {
    char checksum[3];
    std::snprintf(checksum, sizeof checksum, "%02X", XorOf(body));
    return "\x02" + body + "\x03" + checksum + "\r";
}

TEST(StreamFraming, StxStreamIsCutAtCrAndAStrayStartDoesNotRestart) {
    const std::string bytes = "noise" + Stx("Q,3,0,M,00") + "\n" + Stx("Q,6,0,M,00") + "\n" +
                              "\x02"
                              "cut" +
                              Stx("Q,9,0,M,00") + Stx("Q,9,0,M,00") + "\n" + Stx("Q,12,0,M,00") +
                              "tail\x02Q,1";
    const StreamRun run = RunStreamOnBytes("--format VARN_UV_TWO_AXIS --rate 1", bytes);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    ASSERT_EQ(run.rows.size(), 5u);
    EXPECT_EQ(run.rows[2][kAccepted], "0");  // STX cut STX Q,9... CR is one bad packet
    std::vector<std::string> gusts;
    for (const auto& row : run.rows) {
        gusts.push_back(row[kGust]);
    }
    EXPECT_EQ(gusts, (std::vector<std::string>{"3.000000", "4.500000", "4.500000", "6.000000",
                                               "9.000000"}));
    EXPECT_EQ(run.rows[4][kPacket], "5");
    EXPECT_EQ(run.rows[4][kU], "12.000000");
}

std::string Hex(unsigned value, const char* format) {
    char text[8];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

struct FeedLine {
    std::string text;
    bool framed = false;    // starts with "$": the only lines that become packets
    bool accepted = false;  // by the instrument's checksum rule
    int windAngle = -1;     // an accepted MWV: the direction it carries
};

// One line of a masthead weather station behind a network multiplexer: MWV in upper- and
// lower-case hex, a transducer line whose checksum lost its leading zero, a corrupted checksum,
// AIS "!" and autopilot "#" lines that never frame.
FeedLine MixedFeedLine(std::mt19937& random) {
    const int angle = static_cast<int>(random() % 360);
    const int tenths = static_cast<int>(random() % 300);
    const std::string speed = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
    const std::string mwv = "WIMWV," + std::to_string(angle) + ",R," + speed + ",N,A";
    // Two digits in this body keep its XOR below 16: one hex digit, as such devices send it.
    const std::string rsa = "IIRSA," + std::to_string(10 + random() % 90) + ",A,,";
    switch (random() % 6) {
        case 0:
            return {"$" + mwv + "*" + Hex(XorOf(mwv), "%02X"), true, true, angle};
        case 1:
            return {"$" + mwv + "*" + Hex(XorOf(mwv), "%02x"), true, true, angle};
        case 2:
            return {"$" + rsa + "*" + Hex(XorOf(rsa), "%x"), true, true};
        case 3:
            return {"$" + mwv + "*" + Hex(XorOf(mwv) ^ 0x21, "%02X"), true, false};
        case 4:
            return {"!AIVDM,1,1,,B,13u?etPv2;0n:dDPwUM1U1Cb069D,0*23", false, false};
        default:
            return {"#ECRPY,-1.2,0.4*" + Hex(XorOf("ECRPY,-1.2,0.4"), "%02X"), false, false};
    }
}

TEST(StreamFraming, MixedFeedFramesDollarLinesAndReadsChecksumsLikePercentX) {
    std::mt19937 random(11);
    std::string bytes;
    std::vector<FeedLine> framed;
    for (int i = 0; i < 600; ++i) {
        FeedLine line = MixedFeedLine(random);
        bytes += line.text + "\r\n";
        if (line.framed) {
            ASSERT_EQ(OneDigitChecksumOk(line.text), line.text.compare(1, 4, "IIRS") == 0);
            framed.push_back(std::move(line));
        }
    }
    const StreamRun run = RunStreamOnBytes("--format NMEA_POLAR --rate 1 --averaging 2", bytes);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    ASSERT_EQ(run.rows.size(), framed.size());
    for (std::size_t i = 0; i < framed.size(); ++i) {
        const auto& row = run.rows[i];
        EXPECT_EQ(row[kAccepted] == "1", framed[i].accepted) << framed[i].text;
        if (framed[i].windAngle >= 0) {
            EXPECT_EQ(row[kValid], "1") << framed[i].text;
            EXPECT_NEAR(std::stod(row[kDirection]), framed[i].windAngle, 1e-6) << framed[i].text;
        }
    }
}

TEST(StreamFraming, AnyBytesAreProcessedWithoutACrash) {
    std::mt19937 random(7);
    std::string bytes;
    for (int i = 0; i < 200000; ++i) {
        const int pick = static_cast<int>(random() % 16);
        bytes += pick == 0   ? '\r'
                 : pick == 1 ? '$'
                 : pick == 2 ? '\x02'
                 : pick == 3 ? ','
                             : char(random());
    }
    for (const char* format : {"VARN_UV_TWO_AXIS", "NMEA_POLAR", "VARN_POLAR_THREE_AXIS"}) {
        const StreamRun run = RunStreamOnBytes(
            std::string("--format ") + format + " --rate 100 --averaging 10", bytes);
        EXPECT_EQ(run.exitCode, 0) << format << run.errors;
        EXPECT_GT(run.rows.size(), 1000u);
    }
}

TEST(StreamCommandLine, MistakesExitWithTwoAndSayWhy) {
    const StreamRun unknown = RunStream("--format NOPE -");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.errors.find("NMEA_POLAR"), std::string::npos);
    EXPECT_NE(unknown.errors.find("VARN_UV_TWO_AXIS"), std::string::npos);

    const StreamRun missing = RunStream("--format NMEA_POLAR /nonexistent/capture.txt");
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.errors.find("/nonexistent/capture.txt"), std::string::npos);
    EXPECT_TRUE(missing.header.empty());

    EXPECT_EQ(RunStream("--format NMEA_POLAR --averaging 5 -").exitCode, 2);
    EXPECT_EQ(RunStream("--format NMEA_POLAR --rate fast -").exitCode, 2);
    EXPECT_EQ(RunStream("--rate 1 -").exitCode, 2);
}

TEST(StreamCommandLine, ReadsStandardInputUnderACommaLocale) {
    const StreamRun run =
        RunStream("--format=NMEA_POLAR --rate=2 - < /dev/null", "LC_ALL=de_DE.UTF-8");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.header.substr(0, 24), "packet\taccepted\tvalid\tma");
}

TEST(StreamTable, RowsUseADecimalPointUnderACommaLocale) {
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "de_DE.UTF-8 locale missing";
    WindConnection connection;
    connection.ApplyFormat("VARN_POLAR_TWO_AXIS", "IDMN");
    const PacketResult result = connection.HandlePacket(Stx("Q,271.5,2.25,M,00"));
    std::ostringstream out;
    WriteStreamRow(out, 1, result, connection);
    std::setlocale(LC_ALL, "C");
    const std::vector<std::string> cells = Split(out.str().substr(0, out.str().size() - 1), '\t');
    ASSERT_EQ(cells.size(), 20u);
    EXPECT_EQ(cells[kMagnitude], "2.250000");
    EXPECT_EQ(cells[kDirection], "271.500000");
}

std::string Nmea(const std::string& body) {
    return "$" + body + "*" + Hex(XorOf(body), "%02X") + "\r";
}

// Replay in small reads: the framer keeps a packet's start across reads and delivers it once.
TEST(StreamFraming, APacketSplitOverReadsIsHandledOnceWithItsFraming) {
    std::ostringstream out;
    StreamSession session({"NMEA_POLAR", "IDRMNS", 1, 0}, out);
    const std::string sentence = Nmea("IIMWV,270,R,5.0,M,A");
    session.Feed("xx$A");
    session.Feed("B" + sentence.substr(0, 5));
    EXPECT_EQ(session.PacketCount(), 0);
    // The stray start inside the first packet is a byte of it: one bad packet, not a good one.
    session.Feed(sentence.substr(5) + "\n$E\r$F");
    EXPECT_EQ(session.PacketCount(), 2);
    session.Feed("G\r\n" + sentence.substr(0, 1));
    session.Feed(sentence.substr(1, 8));
    EXPECT_EQ(session.PacketCount(), 3);
    session.Feed(sentence.substr(9) + "\n");
    ASSERT_EQ(session.PacketCount(), 4);

    const std::vector<std::string> lines = Split(out.str(), '\n');
    ASSERT_EQ(lines.size(), 5u);  // the header and four rows
    std::vector<std::string> accepted;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        accepted.push_back(Split(lines[i], '\t').at(kAccepted));
    }
    EXPECT_EQ(accepted, (std::vector<std::string>{"0", "0", "0", "1"}));
    EXPECT_EQ(Split(lines[4], '\t').at(kMagnitude), "5.000000");
}

}  // namespace
}  // namespace vx
