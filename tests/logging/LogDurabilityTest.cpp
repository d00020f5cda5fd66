#include "tests/logging/LogTestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace vx {
namespace {

using Clock = std::chrono::steady_clock;

struct Acknowledged {
    int record;
    Clock::time_point at;
};

// A writer killed without warning must not take the records of its last seconds with it.
TEST(LogDurabilityTest, RecordsOlderThanOneSecondSurviveSigkill) {
    test::TempFolder folder;
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const std::string base = folder / "Crash.txt";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execl(VX_CRASH_CHILD, VX_CRASH_CHILD, base.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    FILE* acks = fdopen(pipeFds[0], "r");
    ASSERT_NE(acks, nullptr);

    // Run well past one second of records, then kill in the middle of the stream.
    std::vector<Acknowledged> acknowledged;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
    int record = 0;
    while (fscanf(acks, "%d", &record) == 1) {
        acknowledged.push_back({record, Clock::now()});
        if ((acknowledged.size() >= 60 &&
             Clock::now() - acknowledged.front().at >= std::chrono::milliseconds(2500)) ||
            Clock::now() > deadline) {
            break;
        }
    }
    const Clock::time_point killedAt = Clock::now();
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    fclose(acks);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_GE(acknowledged.size(), 10u);

    const std::string content = test::ReadFile(folder / "Crash [Crash]-0.txt");
    ASSERT_EQ(content.rfind("Ventrix Log File \r\nName: Crash\r\n", 0), 0u);
    size_t searchFrom = 0;
    int checked = 0;
    for (const Acknowledged& ack : acknowledged) {
        if (killedAt - ack.at < std::chrono::seconds(1)) {
            break;
        }
        const std::string line =
            "\r\nrecord " + std::to_string(ack.record) + "," + std::to_string(ack.record) + "\r\n";
        const size_t found = content.find(line, searchFrom);
        ASSERT_NE(found, std::string::npos) << "record " << ack.record << " lost";
        searchFrom = found + 1;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace vx
