#include "tests/autofind/SimPorts.h"

#include "platform/SerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace vx::test {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

PrivatePortsFolder::PrivatePortsFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/vx-ports-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        return;
    }
    path_ = pattern;
    if (const char* previous = std::getenv("VENTRIX_PORTS_DIR")) {
        previous_ = previous;
        hadPrevious_ = true;
    }
    setenv("VENTRIX_PORTS_DIR", path_.c_str(), 1);
    // Without an entry a number falls back to /dev/ttyS0 and the like, which this machine may
    // have: give every number an entry to a device that is not there.
    for (int n = 1; n <= kMaxPortNumber; ++n) {
        const std::string link = path_ + "/COM" + std::to_string(n);
        const std::string absent = path_ + "/absent/COM" + std::to_string(n);
        if (symlink(absent.c_str(), link.c_str()) != 0) {
            path_.clear();
            return;
        }
    }
}

PrivatePortsFolder::~PrivatePortsFolder() {
    if (hadPrevious_) {
        setenv("VENTRIX_PORTS_DIR", previous_.c_str(), 1);
    } else {
        unsetenv("VENTRIX_PORTS_DIR");
    }
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

SimInstrument::SimInstrument(int port, const std::vector<std::string>& arguments) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    const std::string program = std::string(VX_BINARY_DIR) + "/tools/sim/ventrix-sim";
    std::vector<std::string> all = {program, "--port", std::to_string(port)};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    stdout_ = out[0];
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
    while (!ready_ && Clock::now() < deadline) {
        pollfd entry{stdout_, POLLIN, 0};
        if (poll(&entry, 1, RemainingMs(deadline)) <= 0) {
            break;
        }
        char buffer[512];
        const ssize_t count = read(stdout_, buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        banner_.append(buffer, static_cast<std::size_t>(count));
        ready_ = banner_.find("\nready\n") != std::string::npos;
    }
}

SimInstrument::~SimInstrument() {
    if (pid_ > 0) {
        // SIGTERM lets it remove its COMn link; a stuck one is killed after a while.
        kill(pid_, SIGTERM);
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
        while (waitpid(pid_, nullptr, WNOHANG) == 0) {
            if (Clock::now() >= deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (stdout_ >= 0) {
        close(stdout_);
    }
}

}  // namespace vx::test
