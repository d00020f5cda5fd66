#include "tests/support/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace vx::test {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        const std::string reason = std::strerror(errno);
        CloseMaster();
        throw std::runtime_error("no pseudo-terminal: " + reason);
    }
    const char* slave = ::ptsname(master_);
    if (slave == nullptr) {
        CloseMaster();
        throw std::runtime_error("a pseudo-terminal without a name");
    }
    slavePath_ = slave;
}

PseudoTerminal::~PseudoTerminal() {
    CloseMaster();
}

bool PseudoTerminal::Write(const std::string& bytes, std::chrono::milliseconds deadline) {
    const Clock::time_point end = Clock::now() + deadline;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        if (Clock::now() >= end) {
            return false;
        }
        pollfd entry{master_, POLLOUT, 0};
        ::poll(&entry, 1, 100);
    }
    return true;
}

void PseudoTerminal::Offer(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string PseudoTerminal::Read(std::size_t count, std::chrono::milliseconds deadline) {
    std::string out;
    const Clock::time_point end = Clock::now() + deadline;
    while (out.size() < count && Clock::now() < end) {
        pollfd entry{master_, POLLIN, 0};
        if (::poll(&entry, 1, std::min(50, RemainingMs(end))) > 0 && (entry.revents & POLLIN)) {
            out += ReadAvailable();
        }
    }
    return out;
}

std::string PseudoTerminal::ReadAvailable() {
    std::string out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            return out;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

speed_t PseudoTerminal::SlaveSpeed() const {
    termios line{};
    ::tcgetattr(master_, &line);
    return ::cfgetospeed(&line);
}

void PseudoTerminal::SetSlaveSpeed(speed_t speed) {
    termios line{};
    ::tcgetattr(master_, &line);
    ::cfsetospeed(&line, speed);
    ::cfsetispeed(&line, speed);
    ::tcsetattr(master_, TCSANOW, &line);
}

void PseudoTerminal::CloseMaster() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

}  // namespace vx::test
