#pragma once
// Pseudo-terminals as serial ports: the slave is linked as COMn in a private ports folder, the
// test plays the instrument on the master.

#include "serial/UiThread.h"
#include "tests/support/PortsFolder.h"
#include "tests/support/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

namespace vx::test {

inline constexpr int kDeadlineMs = 20000;

// The master side of a pseudo-terminal; a write that cannot finish fails the test.
class PtyLink : public PseudoTerminal {
public:
    void Write(const std::string& bytes) {
        if (!PseudoTerminal::Write(bytes)) {
            ADD_FAILURE() << "master write: " << std::strerror(errno);
        }
    }
};

// A private ports folder named by VENTRIX_PORTS_DIR for the life of the object.
using PortsDir = PortsFolder;

// The test's main thread plays the user-interface thread.
class UiFixture : public ::testing::Test {
protected:
    void SetUp() override { previous_ = SetUiThread(&ui_); }
    void TearDown() override { SetUiThread(previous_); }

    bool WaitFor(const std::function<bool()>& done, int timeoutMs = kDeadlineMs) {
        return ui_.WaitUntil(done, timeoutMs);
    }
    // Handles events for a while (for checks that something does NOT happen).
    void Pump(int ms) {
        ui_.WaitUntil([] { return false; }, ms);
    }

    TaskQueueUiThread ui_;
    UiThread* previous_ = nullptr;
};

inline int CountEntries(const char* dir) {
    int count = 0;
    if (DIR* d = ::opendir(dir)) {
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] != '.') {
                ++count;
            }
        }
        ::closedir(d);
    }
    return count;
}

inline int OpenFdCount() {
    return CountEntries("/proc/self/fd");
}
inline int ThreadCount() {
    return CountEntries("/proc/self/task");
}

// CPU time of the whole process, in milliseconds.
inline double CpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

}  // namespace vx::test
