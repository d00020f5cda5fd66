// Quitting while a nested wait runs ends the process: every wait returns once the application is
// quitting instead of re-entering an event loop that returns at once (a core spinning for ever).
// The program is a child process; the test watches it end.

#include "tests/autofind/SimPorts.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace vx {
namespace {

using Clock = std::chrono::steady_clock;

struct ChildRun {
    bool quitAsked = false;
    bool ended = false;  // the process ended by itself
    int status = -1;
    double secondsAfterQuit = -1;
    std::string out;
};

ChildRun RunQuitChild(const std::string& mode, int port) {
    ChildRun run;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return run;
    }
    const std::string program =
        std::string(VX_BINARY_DIR) + "/tests/autofind/quit_during_wait_child";
    const std::string portText = std::to_string(port);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        execl(program.c_str(), program.c_str(), mode.c_str(), portText.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
    Clock::time_point quitAt{};
    int status = 0;
    for (;;) {
        pollfd entry{out[0], POLLIN, 0};
        if (poll(&entry, 1, 20) > 0) {
            char buffer[256];
            const ssize_t count = read(out[0], buffer, sizeof buffer);
            if (count > 0) {
                run.out.append(buffer, static_cast<std::size_t>(count));
                if (!run.quitAsked && run.out.find("quitting\n") != std::string::npos) {
                    run.quitAsked = true;
                    quitAt = Clock::now();
                }
            }
        }
        if (waitpid(pid, &status, WNOHANG) == pid) {
            run.ended = true;
            run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            if (run.quitAsked) {
                run.secondsAfterQuit = std::chrono::duration<double>(Clock::now() - quitAt).count();
            }
            break;
        }
        // A process that does not end within a generous while after the quit spins or hangs.
        const bool overdue = run.quitAsked && Clock::now() - quitAt > std::chrono::seconds(20);
        if (overdue || Clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
    }
    close(out[0]);
    return run;
}

TEST(QuitDuringAWait, AnAutoFindSearchEndsAndTheProcessWithIt) {
    test::PrivatePortsFolder ports;
    // A unit at a rate never tried: the search would listen for 13 s.
    test::SimInstrument unit(13, {"--baud", "115200"});
    ASSERT_TRUE(unit.Ready()) << unit.Banner();
    const ChildRun run = RunQuitChild("search", 13);
    ASSERT_TRUE(run.quitAsked) << run.out;
    EXPECT_TRUE(run.ended) << "still running 20 s after the quit";
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("ended\n"), std::string::npos);
    // Within 2 s is the aim; the bound is generous for a loaded machine, yet far below what the
    // rest of a search (13 s) would take.
    EXPECT_LT(run.secondsAfterQuit, 8.0);
    std::printf("[ measure ] quit during a search: process ended %.3f s later\n",
                run.secondsAfterQuit);
}

TEST(QuitDuringAWait, ADetectionEndsAndTheProcessWithIt) {
    test::PrivatePortsFolder ports;
    // A unit that answers every poll with a message it spoils: detection would poll for 10 s.
    test::SimInstrument unit(14, {"--polled", "--bad-checksum", "1"});
    ASSERT_TRUE(unit.Ready()) << unit.Banner();
    const ChildRun run = RunQuitChild("detect", 14);
    ASSERT_TRUE(run.quitAsked) << run.out;
    EXPECT_TRUE(run.ended) << "still running 20 s after the quit";
    EXPECT_EQ(run.status, 0);
    EXPECT_LT(run.secondsAfterQuit, 8.0);  // the rest of the detection would take 9 s
    std::printf("[ measure ] quit during detection: process ended %.3f s later\n",
                run.secondsAfterQuit);
}

}  // namespace
}  // namespace vx
