#pragma once
// Pseudo-terminals as serial ports: the slave is linked as COMn in a private ports folder, the
// test plays the instrument on the master.

#include "serial/UiThread.h"

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

// The master side of a pseudo-terminal.
class PtyLink {
public:
    PtyLink() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
            return;
        }
        slavePath_ = ::ptsname(master_);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~PtyLink() { CloseMaster(); }
    PtyLink(const PtyLink&) = delete;
    PtyLink& operator=(const PtyLink&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int Master() const { return master_; }

    void Write(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                ADD_FAILURE() << "master write: " << std::strerror(errno);
                return;
            } else {
                pollfd p{master_, POLLOUT, 0};
                ::poll(&p, 1, 100);
            }
        }
    }

    // Reads until `count` bytes came or the deadline passed.
    std::string Read(std::size_t count, int timeoutMs = kDeadlineMs) {
        std::string out;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
                char buf[4096];
                ssize_t n = ::read(master_, buf, sizeof buf);
                if (n > 0) {
                    out.append(buf, static_cast<std::size_t>(n));
                }
            }
        }
        return out;
    }

    // The speed the program set on the slave, as the master sees it.
    speed_t SlaveSpeed() const {
        termios tio{};
        ::tcgetattr(master_, &tio);
        return ::cfgetospeed(&tio);
    }
    // Changes the slave's speed behind the program's back.
    void SetSlaveSpeed(speed_t speed) {
        termios tio{};
        ::tcgetattr(master_, &tio);
        ::cfsetospeed(&tio, speed);
        ::cfsetispeed(&tio, speed);
        ::tcsetattr(master_, TCSANOW, &tio);
    }

    void CloseMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

private:
    int master_ = -1;
    std::string slavePath_;
};

// A private ports folder named by VENTRIX_PORTS_DIR for the life of the object.
class PortsDir {
public:
    PortsDir() {
        char pattern[] = "/tmp/vx-ports-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        path_ = made ? made : "";
        ::chmod(path_.c_str(), 0700);  // not world-writable: protected-symlink rules apply
        const char* old = std::getenv("VENTRIX_PORTS_DIR");
        hadOld_ = old != nullptr;
        old_ = old ? old : "";
        ::setenv("VENTRIX_PORTS_DIR", path_.c_str(), 1);
    }
    ~PortsDir() {
        if (hadOld_) {
            ::setenv("VENTRIX_PORTS_DIR", old_.c_str(), 1);
        } else {
            ::unsetenv("VENTRIX_PORTS_DIR");
        }
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    PortsDir(const PortsDir&) = delete;
    PortsDir& operator=(const PortsDir&) = delete;

    const std::string& Path() const { return path_; }
    void Link(int n, const std::string& target) {
        std::string entry = path_ + "/COM" + std::to_string(n);
        ::unlink(entry.c_str());
        if (::symlink(target.c_str(), entry.c_str()) != 0) {
            ADD_FAILURE() << "symlink " << entry << ": " << std::strerror(errno);
        }
    }

private:
    std::string path_;
    std::string old_;
    bool hadOld_ = false;
};

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
