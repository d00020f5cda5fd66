// A minute of a simulated instrument at 100 Hz, read live by ventrix-stream through the serial
// port, the framer and the message parser: every message the instrument sent that the program
// can accept arrives, in order, once; faulty ones are rejected without taking good ones along.

#include "tests/support/ChildProcess.h"
#include "tests/support/PortsFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kSeconds = 62;

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(line);
    while (std::getline(in, part, separator)) {
        parts.push_back(part);
    }
    return parts;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

struct Wind {
    double u;
    double v;
};

struct SimRecord {
    long accepted = 0;         // sum of the log's accepted column
    std::vector<Wind> intact;  // u, v of the messages sent intact and accepted, in order
    long faulty = 0;           // messages sent with a fault
};

// The simulator's send log: seq, time, status, accepted, bytes; "#" lines are events.
SimRecord ReadSimLog(const std::string& path) {
    SimRecord record;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto columns = Split(line, '\t');
        if (columns.size() < 5) {
            continue;
        }
        const long accepted = std::stol(columns[3]);
        record.accepted += accepted;
        if (columns[2] == "ok" && accepted == 1) {
            const auto fields = Split(Unescape(columns[4]), ',');
            record.intact.push_back({std::strtod(fields.at(1).c_str(), nullptr),
                                     std::strtod(fields.at(2).c_str(), nullptr)});
        } else if (columns[2] != "ok" && columns[2] != "unheard" && columns[2] != "silent") {
            ++record.faulty;
        }
    }
    return record;
}

struct StreamRecord {
    std::vector<Wind> accepted;
    long rejected = 0;
};

// ventrix-stream's table: packet accepted valid magnitude direction u v ...
StreamRecord ReadStreamTable(const std::string& path) {
    StreamRecord record;
    std::ifstream in(path);
    std::string header;
    std::getline(in, header);
    for (std::string line; std::getline(in, line);) {
        const auto columns = Split(line, '\t');
        if (columns.size() < 7) {
            continue;
        }
        if (columns[1] == "1") {
            record.accepted.push_back({std::strtod(columns[5].c_str(), nullptr),
                                       std::strtod(columns[6].c_str(), nullptr)});
        } else {
            ++record.rejected;
        }
    }
    return record;
}

class ZeroLoss : public ::testing::Test {
protected:
    // Runs two instruments at once, one clean and one with faults, each read by its own
    // ventrix-stream for the same minute.
    void RunBoth(const std::vector<std::string>& faults) {
        vx::test::PortsFolder ports;
        std::vector<std::unique_ptr<vx::test::SimProcess>> sims;
        for (const int port : {31, 32}) {
            std::vector<std::string> arguments = {
                "--format",        "VARN_UV_TWO_AXIS",
                "--rate",          "100",
                "--baud",          "115200",
                "--speed",         "7",
                "--turbulence",    "0.3",
                "--silence-after", "0",
                "--silence-for",   "3",
                "--duration",      std::to_string(kSeconds),
                "--seed",          std::to_string(port),
                "--log",           dir_ / ("sim" + std::to_string(port) + ".log")};
            if (port == 32) {
                arguments.insert(arguments.end(), faults.begin(), faults.end());
            }
            sims.push_back(std::make_unique<vx::test::SimProcess>(ports, port, arguments));
            ASSERT_TRUE(sims.back()->Ready()) << sims.back()->Banner();
        }
        std::vector<std::unique_ptr<vx::test::ChildProcess>> streams;
        for (const int port : {31, 32}) {
            vx::test::ChildOptions table;
            table.outputPath = dir_ / ("table" + std::to_string(port));
            streams.push_back(std::make_unique<vx::test::ChildProcess>(
                std::vector<std::string>{vx::test::BuiltProgram("tools/stream/ventrix-stream"),
                                         "--format", "VARN_UV_TWO_AXIS", "--port",
                                         std::to_string(port), "--baud", "115200", "--duration",
                                         std::to_string(kSeconds + 4)},
                table));
        }
        // Each stream ends at its duration or when its instrument, done, hangs the line up.
        for (auto& stream : streams) {
            stream->Wait(std::chrono::seconds(kSeconds + 60));
            ASSERT_FALSE(stream->Running()) << "ventrix-stream did not end";
        }
    }

    vx::test::TempFolder dir_{"vx-zeroloss"};
};

TEST_F(ZeroLoss, AMinuteAtOneHundredHertzArrivesWholeWithAndWithoutFaults) {
    RunBoth({"--noise", "0.03", "--bad-checksum", "0.03"});

    const SimRecord cleanSent = ReadSimLog(dir_ / "sim31.log");
    const StreamRecord cleanRead = ReadStreamTable(dir_ / "table31");
    // The instruments keep quiet for their first 3 s, while the streams open their ports (a
    // message on the line while a port opens is lost on any serial line), then send for the
    // rest of the minute.
    ASSERT_GT(cleanSent.accepted, (kSeconds - 5) * 100);
    EXPECT_EQ(cleanSent.faulty, 0);
    EXPECT_EQ(cleanRead.rejected, 0);
    ASSERT_EQ(static_cast<long>(cleanRead.accepted.size()), cleanSent.accepted);
    ASSERT_EQ(cleanRead.accepted.size(), cleanSent.intact.size());
    for (std::size_t i = 0; i < cleanSent.intact.size(); ++i) {
        ASSERT_NEAR(cleanRead.accepted[i].u, cleanSent.intact[i].u, 1e-6) << "message " << i;
        ASSERT_NEAR(cleanRead.accepted[i].v, cleanSent.intact[i].v, 1e-6) << "message " << i;
    }

    const SimRecord faultySent = ReadSimLog(dir_ / "sim32.log");
    const StreamRecord faultyRead = ReadStreamTable(dir_ / "table32");
    ASSERT_GT(faultySent.faulty, 100);  // the faults really happened
    EXPECT_GT(faultyRead.rejected, 0);
    EXPECT_EQ(static_cast<long>(faultyRead.accepted.size()), faultySent.accepted);
}

}  // namespace
