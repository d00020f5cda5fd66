// ventrix-stream's live mode, run as the real program against a pseudo-terminal.

#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <sstream>
#include <string>
#include <thread>

namespace vx {
namespace {

using test::PortsDir;
using test::PtyLink;

const std::string kTool = std::string(VX_BINARY_DIR) + "/tools/stream/ventrix-stream";

std::string Nmea(const std::string& body) {
    unsigned sum = 0;
    for (char c : body) {
        sum ^= static_cast<unsigned char>(c);
    }
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    return "$" + body + "*" + hex + "\r\n";
}

struct ToolRun {
    std::string out;
    int status = -1;
};

// Runs a shell command line and collects its standard output and exit status.
ToolRun Shell(const std::string& command) {
    ToolRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return run;
    }
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) {
        run.out.append(buf, n);
    }
    int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Plays the instrument until the future is ready.
template <class T>
void Send(PtyLink& pty, std::future<T>& done, const std::string& message) {
    while (done.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        pty.Write(message);
    }
}

TEST(LiveStream, ReadsAPortUntilTheCountAndClosesIt) {
    PortsDir ports;
    PtyLink pty;
    ports.Link(7, pty.SlavePath());
    auto done = std::async(std::launch::async, [] {
        return Shell(kTool + " --format NMEA_POLAR --port 7 --baud 9600 --count 3");
    });
    Send(pty, done, "cut off" + Nmea("WIMWV,045.0,R,12.3,M,A"));
    ToolRun run = done.get();
    EXPECT_EQ(run.status, 0);
    auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 4u) << run.out;  // the header and three messages
    EXPECT_EQ(lines[1].substr(0, 6), "1\t1\t1\t");
    EXPECT_EQ(lines[3].substr(0, 2), "3\t");
    EXPECT_EQ(pty.SlaveSpeed(), B9600);
    // The port was given back: it opens again.
    auto again = std::async(std::launch::async, [] {
        return Shell(kTool + " --format NMEA_POLAR --port 7 --count 1");
    });
    Send(pty, again, Nmea("WIMWV,180.0,R,01.0,M,A"));
    EXPECT_EQ(again.get().status, 0);
}

TEST(LiveStream, InterruptAndDurationEndItCleanly) {
    PortsDir ports;
    PtyLink pty;
    ports.Link(7, pty.SlavePath());
    auto interrupted = std::async(std::launch::async, [] {
        return Shell(kTool +
                     " --format NMEA_POLAR --port 7 & pid=$!; sleep 1; kill -INT $pid; "
                     "wait $pid; echo status=$?");
    });
    Send(pty, interrupted, Nmea("WIMWV,045.0,R,12.3,M,A"));
    ToolRun run = interrupted.get();
    EXPECT_NE(run.out.find("status=0"), std::string::npos) << run.out;
    EXPECT_GE(Lines(run.out).size(), 3u);  // header, some messages, status

    auto timed = std::async(std::launch::async, [] {
        return Shell(kTool + " --format NMEA_POLAR --port 7 --duration 0.5");
    });
    Send(pty, timed, Nmea("WIMWV,045.0,R,12.3,M,A"));
    EXPECT_EQ(timed.get().status, 0);
}

// Waits (without a deadline of its own) until the tool has opened the port: it sets the line speed.
bool WaitForOpen(PtyLink& pty, speed_t speed) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (pty.SlaveSpeed() != speed && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pty.SlaveSpeed() == speed;
}

TEST(LiveStream, AVanishedDeviceEndsTheRunWithStatusThreeAndAMessage) {
    PortsDir ports;
    PtyLink pty;
    ports.Link(7, pty.SlavePath());
    auto done = std::async(std::launch::async, [] {
        return Shell(kTool + " --format NMEA_POLAR --port 7 --baud 4800 2>&1");
    });
    ASSERT_TRUE(WaitForOpen(pty, B4800));
    pty.Write(Nmea("WIMWV,045.0,R,12.3,M,A"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto unplugged = std::chrono::steady_clock::now();
    pty.CloseMaster();
    // Without the hang-up being noticed the tool would wait for ever.
    ASSERT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - unplugged).count();
    ToolRun run = done.get();
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.out.find("COM7: the device went away (" + pty.SlavePath() + ")"),
              std::string::npos)
        << run.out;
    std::printf("device gone to exit: %.3f s\n", seconds);
}

TEST(LiveStream, WithReconnectItWaitsForTheDeviceAndGoesOn) {
    PortsDir ports;
    auto first = std::make_unique<PtyLink>();
    ports.Link(7, first->SlavePath());
    auto done = std::async(std::launch::async, [] {
        return Shell(kTool +
                     " --format NMEA_POLAR --port 7 --baud 4800 --reconnect --count 4 2>&1");
    });
    ASSERT_TRUE(WaitForOpen(*first, B4800));
    first->Write(Nmea("WIMWV,045.0,R,12.3,M,A"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    first.reset();  // unplugged

    // Plugged back: a new device behind the same number, as a re-plugged adapter gets.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    PtyLink second;
    ports.Link(7, second.SlavePath());
    ASSERT_TRUE(WaitForOpen(second, B4800));
    Send(second, done, Nmea("WIMWV,180.0,R,01.0,M,A"));
    ToolRun run = done.get();
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("the device went away"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("waiting for it to return"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("COM7: back (" + second.SlavePath() + ")"), std::string::npos)
        << run.out;
    int rows = 0;
    for (const std::string& line : Lines(run.out)) {
        rows += !line.empty() && line[0] >= '1' && line[0] <= '9';
    }
    EXPECT_EQ(rows, 4) << run.out;
    EXPECT_NE(run.out.find("\t180.0"), std::string::npos) << run.out;
}

TEST(LiveStream, HelpTellsOfTheLostDeviceAndReconnect) {
    ToolRun help = Shell(kTool + " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--reconnect"), std::string::npos);
    EXPECT_NE(help.out.find("exit status 3"), std::string::npos);
    EXPECT_EQ(Shell(kTool + " --format NMEA_POLAR --reconnect - </dev/null 2>/dev/null").status, 2);
}

TEST(LiveStream, AMissingPortIsReportedAndOptionsAreChecked) {
    PortsDir ports;
    ports.Link(9, "/dev/nonexistent-ventrix-port");
    ToolRun missing = Shell(kTool + " --format NMEA_POLAR --port 9 2>&1");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("COM9: ie_BadId - Specified comport doesn't exist"),
              std::string::npos)
        << missing.out;
    EXPECT_EQ(Shell(kTool + " --format NMEA_POLAR --port 51 2>/dev/null").status, 2);
    EXPECT_EQ(Shell(kTool + " --format NMEA_POLAR --port 1 --parity X 2>/dev/null").status, 2);
    EXPECT_EQ(Shell(kTool + " --format NMEA_POLAR --count 3 - </dev/null 2>/dev/null").status, 2);
    EXPECT_EQ(Shell(kTool + " --format NMEA_POLAR --port 1 file.txt 2>/dev/null").status, 2);
}

}  // namespace
}  // namespace vx
