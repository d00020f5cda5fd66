// What the tests rely on from their shared support without seeing it: a simulator never
// outlives the test that started it, one that cannot start is known at once, and what a child
// writes lands where the test reads it.

#include "tests/support/ChildProcess.h"
#include "tests/support/PortsFolder.h"
#include "tests/support/WaitFor.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>

namespace vx::test {
namespace {

// Gone, or a zombie nobody reaps (a container's first process may not).
bool ProcessEnded(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidText;
    std::string name;
    std::string state;
    return !(stat >> pidText >> name >> state) || state == "Z" || state == "X";
}

TEST(SimProcess, DiesWithTheTestThatStartedIt) {
    PortsFolder ports;
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t test = ::fork();
    ASSERT_GE(test, 0);
    if (test == 0) {
        // A test that dies without running any destructor, as a crash does.
        ChildOptions options;
        options.outputPath = ports.Path() + "/banner";  // no folder of its own left behind
        SimProcess sim(ports, 5, {"--rate", "10"}, options);
        const pid_t simPid = sim.Ready() ? sim.Pid() : -1;
        [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &simPid, sizeof simPid);
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    pid_t simPid = -1;
    ASSERT_EQ(::read(pipeEnds[0], &simPid, sizeof simPid), static_cast<ssize_t>(sizeof simPid));
    ::close(pipeEnds[0]);
    ::waitpid(test, nullptr, 0);
    ASSERT_GT(simPid, 0) << "the simulator did not start";
    const bool ended = WaitUntil([&] { return ProcessEnded(simPid); });
    if (!ended) {
        ::kill(simPid, SIGKILL);
    }
    EXPECT_TRUE(ended) << "ventrix-sim " << simPid << " outlived its test";
}

TEST(SimProcess, OneThatCannotStartIsKnownWithoutWaitingOutTheDeadline) {
    const auto start = std::chrono::steady_clock::now();
    SimProcess sim({"--no-such-option"}, {}, std::chrono::seconds(120));
    EXPECT_FALSE(sim.Ready());
    EXPECT_NE(sim.Wait(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60))
        << "a simulator that exited must end the wait for its banner";
}

TEST(ChildProcess, StandardErrorGoesToItsOwnFileWhenOneIsNamed) {
    TempFolder folder;
    ChildOptions options;
    options.errorPath = folder / "errors";
    ChildProcess child({"/bin/sh", "-c", "echo said; echo complained >&2"}, options);
    ASSERT_EQ(child.Wait(), 0);
    EXPECT_EQ(child.Output(), "said\n");
    EXPECT_EQ(ReadFile(options.errorPath), "complained\n");
}

}  // namespace
}  // namespace vx::test
