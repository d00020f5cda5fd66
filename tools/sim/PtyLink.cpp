#include "tools/sim/PtyLink.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vx::sim {

namespace {

const std::pair<std::uint32_t, speed_t> kSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

std::uint32_t SpeedToBaud(unsigned speed) {
    for (const auto& [baud, constant] : kSpeeds) {
        if (constant == speed) {
            return baud;
        }
    }
    return 0;
}

bool BaudToSpeed(std::uint32_t baud, unsigned& speed) {
    for (const auto& [rate, constant] : kSpeeds) {
        if (rate == baud) {
            speed = constant;
            return true;
        }
    }
    return false;
}

PtyLink::~PtyLink() {
    Close();
}

bool PtyLink::Open(std::uint32_t baud, std::string& error) {
    unsigned speed = 0;
    if (!BaudToSpeed(baud, speed)) {
        error = "unsupported baud rate " + std::to_string(baud);
        return false;
    }
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0) {
        error = ErrnoText("posix_openpt");
        return false;
    }
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = ErrnoText("grantpt/unlockpt");
        Close();
        return false;
    }
    char name[256];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error = ErrnoText("ptsname");
        Close();
        return false;
    }
    device_ = name;
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    int on = 1;
    ioctl(master_, TIOCPKT, &on);

    // A fresh slave is in line mode with echo, which would send our own messages back to us
    // until the program sets raw mode; set the line as a serial port starts. Termios calls on
    // the master act on the slave.
    termios line{};
    if (tcgetattr(master_, &line) == 0) {
        cfmakeraw(&line);
        line.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&line, speed);
        cfsetospeed(&line, speed);
        tcsetattr(master_, TCSANOW, &line);
    }
    // Until the slave has been opened once the master cannot tell that nobody listens; one open
    // and close puts it in the "hung up" state it shows whenever the program has the port closed.
    const int slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        error = ErrnoText("open slave");
        Close();
        return false;
    }
    close(slave);
    ReadResult ignored = Read();  // the packet-mode notice of our own settings
    (void)ignored;
    return true;
}

void PtyLink::Close() {
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

bool PtyLink::ListenerPresent() const {
    if (master_ < 0) {
        return false;
    }
    pollfd entry{master_, 0, 0};
    if (poll(&entry, 1, 0) < 0) {
        return false;
    }
    return (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

std::uint32_t PtyLink::ProgramBaud() const {
    termios line{};
    if (master_ < 0 || tcgetattr(master_, &line) != 0) {
        return 0;
    }
    return SpeedToBaud(cfgetospeed(&line));
}

long PtyLink::Write(const std::string& bytes) {
    if (master_ < 0) {
        return -1;
    }
    const ssize_t written = write(master_, bytes.data(), bytes.size());
    if (written >= 0) {
        return static_cast<long>(written);
    }
    if (errno == EAGAIN || errno == EINTR) {
        return 0;
    }
    return -1;
}

ReadResult PtyLink::Read() {
    ReadResult result;
    char buffer[4096];
    while (master_ >= 0) {
        const ssize_t count = read(master_, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EIO) {
                result.hangup = true;
            }
            break;
        }
        if (count == 0) {
            break;
        }
        // Packet mode: a first byte of 0 carries data, anything else is a control notice.
        if (buffer[0] == TIOCPKT_DATA) {
            result.data.append(buffer + 1, static_cast<std::size_t>(count - 1));
        } else if (buffer[0] & TIOCPKT_FLUSHREAD) {
            result.flushed = true;
        }
    }
    return result;
}

void PtyLink::DiscardStaleInput() {
    if (device_.empty()) {
        return;
    }
    const int slave = open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave >= 0) {
        tcflush(slave, TCIFLUSH);
        close(slave);
    }
}

}  // namespace vx::sim
