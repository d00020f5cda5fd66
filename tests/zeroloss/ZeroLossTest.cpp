// A minute of a simulated instrument at 100 Hz, read live by ventrix-stream through the serial
// port, the framer and the message parser: every message the instrument sent that the program
// can accept arrives, in order, once; faulty ones are rejected without taking good ones along.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kBin = VX_BINARY_DIR;
const std::string kSim = kBin + "/tools/sim/ventrix-sim";
const std::string kStream = kBin + "/tools/stream/ventrix-stream";
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
    void SetUp() override {
        char pattern[] = "/tmp/vx-zeroloss-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    // Runs two instruments at once, one clean and one with faults, each read by its own
    // ventrix-stream for the same minute.
    void RunBoth(const std::string& faults) {
        // The folder names hold no blanks or quotes (mkdtemp), so the script needs no quoting.
        std::ostringstream script;
        script << "set -e\n"
               << "export VENTRIX_PORTS_DIR=" << dir_ << "/ports\n"
               << "start_sim() {\n"
               << "  " << kSim << " --port $1 --format VARN_UV_TWO_AXIS --rate 100 --baud 115200"
               << " --speed 7 --turbulence 0.3 --silence-after 0 --silence-for 3 --duration "
               << kSeconds << " --seed $1"
               << " --log " << dir_ << "/sim$1.log $2 > " << dir_ << "/banner$1 &\n"
               << "  for i in $(seq 100); do grep -q '^ready' " << dir_
               << "/banner$1 && return 0; sleep 0.1; done; return 1\n"
               << "}\n"
               << "start_sim 31 ''\n"
               << "start_sim 32 '" << faults << "'\n"
               << "for p in 31 32; do\n"
               << "  " << kStream << " --format VARN_UV_TWO_AXIS --port $p --baud 115200"
               << " --duration " << kSeconds + 4 << " > " << dir_ << "/table$p &\n"
               << "done\n"
               << "wait\n";
        const std::string scriptPath = dir_ + "/run.sh";
        std::ofstream(scriptPath) << script.str();
        ASSERT_EQ(std::system(("bash '" + scriptPath + "'").c_str()), 0);
    }

    std::string dir_;
};

TEST_F(ZeroLoss, AMinuteAtOneHundredHertzArrivesWholeWithAndWithoutFaults) {
    RunBoth("--noise 0.03 --bad-checksum 0.03");

    const SimRecord cleanSent = ReadSimLog(dir_ + "/sim31.log");
    const StreamRecord cleanRead = ReadStreamTable(dir_ + "/table31");
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

    const SimRecord faultySent = ReadSimLog(dir_ + "/sim32.log");
    const StreamRecord faultyRead = ReadStreamTable(dir_ + "/table32");
    ASSERT_GT(faultySent.faulty, 100);  // the faults really happened
    EXPECT_GT(faultyRead.rejected, 0);
    EXPECT_EQ(static_cast<long>(faultyRead.accepted.size()), faultySent.accepted);
}

}  // namespace
