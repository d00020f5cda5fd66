#include "platform/SerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <utility>

namespace vx {
namespace {

struct BaudCode {
    std::uint32_t baud;
    speed_t code;
};

constexpr BaudCode kBaudCodes[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool SpeedCode(std::uint32_t baud, speed_t& code) {
    for (const auto& entry : kBaudCodes) {
        if (entry.baud == baud) {
            code = entry.code;
            return true;
        }
    }
    return false;
}

std::uint32_t BaudOf(speed_t code) {
    for (const auto& entry : kBaudCodes) {
        if (entry.code == code) {
            return entry.baud;
        }
    }
    return 0;
}

// Codes kept for errno values without a Windows counterpart.
constexpr int kErrnoBase = 10000;

struct ErrnoCode {
    int err;
    int code;
};

constexpr ErrnoCode kErrnoCodes[] = {
    {ENOENT, kSysFileNotFound},     {ENXIO, kSysFileNotFound},      {ENODEV, kSysFileNotFound},
    {ENOTDIR, kSysPathNotFound},    {ELOOP, kSysPathNotFound},      {EMFILE, kSysTooManyOpenFiles},
    {ENFILE, kSysTooManyOpenFiles}, {EBUSY, kSysAccessDenied},      {EWOULDBLOCK, kSysAccessDenied},
    {EBADF, kSysInvalidHandle},     {ENOMEM, kSysNotEnoughMemory},  {EIO, kSysGeneralFailure},
    {ENOTTY, kSysNotSupported},     {EINVAL, kSysInvalidParameter}, {EACCES, kSysNoPermission},
    {EPERM, kSysNoPermission},
};

std::string CleanText(const std::string& text) {
    std::string out;
    for (char c : text) {
        char d = (static_cast<unsigned char>(c) < 0x20) ? ' ' : c;
        if (d == ' ' && !out.empty() && out.back() == ' ') {
            continue;
        }
        out += d;
    }
    return out;
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return home ? home : "";
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

class PosixSerialDevice : public SerialDevice {
public:
    PosixSerialDevice() { cancelFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }
    ~PosixSerialDevice() override {
        Close();
        if (cancelFd_ >= 0) {
            ::close(cancelFd_);
        }
    }

    int Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    int SetQueueSizes(unsigned, unsigned) override { return IsOpen() ? 0 : kSysInvalidHandle; }
    int GetLineSettings(LineSettings& settings) override;
    int SetLineSettings(const LineSettings& settings) override;
    unsigned WaitEvent(int timeoutMs, bool forData) override;
    void CancelWaits() override;
    void ResetCancel() override;
    bool Vanished() const override { return vanished_; }
    long Read(void* buffer, std::size_t size) override;
    long ReadTimed(void* buffer, std::size_t size, int timeoutMs) override;
    long Write(const void* data, std::size_t size) override;
    int Purge(bool input, bool output) override;
    bool HasModemLines() const override { return modemLines_; }
    int SetDtr(bool on) override { return SetModemBit(TIOCM_DTR, on); }
    int SetRts(bool on) override { return SetModemBit(TIOCM_RTS, on); }
    int GetModemStatus(std::uint32_t& bits) override;
    int QueueCounts(unsigned& inQueue, unsigned& outQueue) override;
    const std::string& Path() const override { return path_; }

private:
    int SetModemBit(int bit, bool on);
    bool Cancelled() const;
    // Waits for events on the device and the cancel descriptor; returns poll's revents of the
    // device, or -1 when cancelled, 0 on time-out.
    int PollDevice(short events, int timeoutMs);

    int fd_ = -1;
    int cancelFd_ = -1;
    std::string path_;
    std::atomic<bool> vanished_{false};
    bool modemLines_ = true;
};

int PosixSerialDevice::Open(const std::string& path) {
    Close();
    if (cancelFd_ < 0) {
        return kSysNotEnoughMemory;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        // A serial port whose hardware is missing (a ttyS without a UART) fails with EIO.
        return err == EIO ? kSysFileNotFound : SystemCodeFromErrno(err);
    }
    // flock is what keeps two programs apart when they run as root (root ignores TIOCEXCL).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? kSysAccessDenied : SystemCodeFromErrno(err);
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        int err = errno;
        ::close(fd);
        // Not a terminal: the port number does not name a serial device.
        return (err == ENOTTY || err == EINVAL || err == EIO) ? kSysFileNotFound
                                                              : SystemCodeFromErrno(err);
    }
    ::ioctl(fd, TIOCEXCL);
    // A fresh pseudo-terminal is in line mode with echo: switch to raw mode at once, then
    // discard whatever the line discipline kept.
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        int err = errno;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return SystemCodeFromErrno(err);
    }
    ::tcflush(fd, TCIOFLUSH);
    int bits = 0;
    modemLines_ = ::ioctl(fd, TIOCMGET, &bits) == 0;
    fd_ = fd;
    path_ = path;
    vanished_ = false;
    return 0;
}

void PosixSerialDevice::Close() {
    if (fd_ < 0) {
        return;
    }
    // On a pseudo-terminal the exclusive flag outlives the last close; clear it first.
    ::ioctl(fd_, TIOCNXCL);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

int PosixSerialDevice::GetLineSettings(LineSettings& settings) {
    termios tio{};
    if (fd_ < 0) {
        return kSysInvalidHandle;
    }
    if (::tcgetattr(fd_, &tio) != 0) {
        return SystemCodeFromErrno(errno);
    }
    settings.baud = BaudOf(::cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            settings.dataBits = 5;
            break;
        case CS6:
            settings.dataBits = 6;
            break;
        case CS7:
            settings.dataBits = 7;
            break;
        default:
            settings.dataBits = 8;
            break;
    }
    settings.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    if (!(tio.c_cflag & PARENB)) {
        settings.parity = LineParity::None;
    } else if (tio.c_cflag & CMSPAR) {
        settings.parity = (tio.c_cflag & PARODD) ? LineParity::Mark : LineParity::Space;
    } else {
        settings.parity = (tio.c_cflag & PARODD) ? LineParity::Odd : LineParity::Even;
    }
    return 0;
}

int PosixSerialDevice::SetLineSettings(const LineSettings& settings) {
    if (fd_ < 0) {
        return kSysInvalidHandle;
    }
    speed_t speed{};
    if (!SpeedCode(settings.baud, speed) || settings.dataBits < 5 || settings.dataBits > 8) {
        return kSysInvalidParameter;
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        return SystemCodeFromErrno(errno);
    }
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
    constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[settings.dataBits - 5];
    if (settings.stopBits >= 2) {
        tio.c_cflag |= CSTOPB;
    }
    switch (settings.parity) {
        case LineParity::None:
            break;
        case LineParity::Odd:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case LineParity::Even:
            tio.c_cflag |= PARENB;
            break;
        case LineParity::Mark:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case LineParity::Space:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
    }
    // Binary mode, no parity checking of received bytes, no null stripping.
    tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | PARMRK | ISTRIP | IGNPAR | IXON | IXOFF);
    tio.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        int err = errno;
        // glibc reads the settings back and reports EINVAL when parity was not kept, which is
        // what a pseudo-terminal does with every setting applied otherwise: that is success.
        termios back{};
        if (err == EINVAL && ::tcgetattr(fd_, &back) == 0 && ::cfgetospeed(&back) == speed &&
            (back.c_cflag & CSIZE) == (tio.c_cflag & CSIZE) && !(back.c_cflag & PARENB) &&
            !HasModemLines()) {
            return 0;
        }
        return SystemCodeFromErrno(err);
    }
    return 0;
}

bool PosixSerialDevice::Cancelled() const {
    pollfd p{cancelFd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

int PosixSerialDevice::PollDevice(short events, int timeoutMs) {
    pollfd fds[2] = {{cancelFd_, POLLIN, 0}, {fd_, events, 0}};
    // After a hang-up the device polls ready for ever; only the cancellation is waited for.
    nfds_t count = (fd_ >= 0 && !vanished_) ? 2 : 1;
    for (;;) {
        int n = ::poll(fds, count, timeoutMs);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -2;
        }
        if (fds[0].revents & POLLIN) {
            return -1;
        }
        if (count == 2 && fds[1].revents) {
            if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
                vanished_ = true;
            }
            return fds[1].revents;
        }
        return 0;
    }
}

unsigned PosixSerialDevice::WaitEvent(int timeoutMs, bool forData) {
    bool wasVanished = vanished_;
    // Without POLLIN, poll still reports a hang-up or an error of the device.
    int r = PollDevice(forData ? POLLIN : 0, timeoutMs);
    if (r == -1) {
        return kDevEventCancelled;
    }
    if (r == -2) {
        return kDevEventError;
    }
    unsigned events = 0;
    if (r & POLLIN) {
        events |= kDevEventRx;
    }
    if (vanished_ && !wasVanished) {
        events |= kDevEventHangup;
    }
    return events;
}

void PosixSerialDevice::CancelWaits() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(cancelFd_, &one, sizeof one);
}

void PosixSerialDevice::ResetCancel() {
    std::uint64_t value = 0;
    [[maybe_unused]] auto n = ::read(cancelFd_, &value, sizeof value);
}

long PosixSerialDevice::Read(void* buffer, std::size_t size) {
    if (fd_ < 0) {
        return -kSysInvalidHandle;
    }
    for (;;) {
        ssize_t n = ::read(fd_, buffer, size);
        if (n >= 0) {
            return n;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN) {
            return 0;
        }
        if (errno == EIO) {
            vanished_ = true;
        }
        return -SystemCodeFromErrno(errno);
    }
}

long PosixSerialDevice::ReadTimed(void* buffer, std::size_t size, int timeoutMs) {
    if (fd_ < 0) {
        return -kSysInvalidHandle;
    }
    if (vanished_) {
        return 0;
    }
    int r = PollDevice(POLLIN, timeoutMs);
    if (r <= 0 || !(r & POLLIN)) {
        return 0;
    }
    return Read(buffer, size);
}

long PosixSerialDevice::Write(const void* data, std::size_t size) {
    if (fd_ < 0) {
        return -kSysInvalidHandle;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd_, bytes + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            if (errno == EIO) {
                vanished_ = true;
            }
            return done > 0 ? static_cast<long>(done) : -SystemCodeFromErrno(errno);
        }
        if (vanished_ || Cancelled()) {
            break;
        }
        int r = PollDevice(POLLOUT, -1);
        if (r < 0 || (r & (POLLHUP | POLLERR | POLLNVAL))) {
            break;  // abandoned by close, or the device is gone
        }
    }
    return static_cast<long>(done);
}

int PosixSerialDevice::Purge(bool input, bool output) {
    if (fd_ < 0) {
        return kSysInvalidHandle;
    }
    int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    if ((input || output) && ::tcflush(fd_, which) != 0) {
        return SystemCodeFromErrno(errno);
    }
    return 0;
}

int PosixSerialDevice::SetModemBit(int bit, bool on) {
    if (fd_ < 0) {
        return kSysInvalidHandle;
    }
    if (!modemLines_) {
        return 0;
    }
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) != 0) {
        if (errno == ENOTTY || errno == EINVAL) {
            modemLines_ = false;  // a pseudo-terminal: no modem lines, not a failure
            return 0;
        }
        return SystemCodeFromErrno(errno);
    }
    return 0;
}

int PosixSerialDevice::GetModemStatus(std::uint32_t& bits) {
    bits = 0;
    if (fd_ < 0) {
        return kSysInvalidHandle;
    }
    if (!modemLines_) {
        return 0;
    }
    int status = 0;
    if (::ioctl(fd_, TIOCMGET, &status) != 0) {
        return (errno == ENOTTY || errno == EINVAL) ? 0 : SystemCodeFromErrno(errno);
    }
    if (status & TIOCM_CTS) {
        bits |= kModemCts;
    }
    if (status & TIOCM_DSR) {
        bits |= kModemDsr;
    }
    if (status & TIOCM_RNG) {
        bits |= kModemRing;
    }
    if (status & TIOCM_CAR) {
        bits |= kModemRlsd;
    }
    return 0;
}

int PosixSerialDevice::QueueCounts(unsigned& inQueue, unsigned& outQueue) {
    inQueue = outQueue = 0;
    if (fd_ < 0) {
        return kSysInvalidHandle;
    }
    // FIONREAD can read 0 just after the far side wrote: let poll settle the queue first.
    pollfd p{fd_, POLLIN, 0};
    ::poll(&p, 1, 0);
    int in = 0;
    int out = 0;
    if (::ioctl(fd_, FIONREAD, &in) != 0 || ::ioctl(fd_, TIOCOUTQ, &out) != 0) {
        return SystemCodeFromErrno(errno);
    }
    inQueue = static_cast<unsigned>(in);
    outQueue = static_cast<unsigned>(out);
    return 0;
}

}  // namespace

int ProbeSerialDevice(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        // EBUSY: another program set the exclusive flag. EIO: a ttyS without a UART.
        return err == EIO ? kSysFileNotFound : SystemCodeFromErrno(err);
    }
    int code = 0;
    if (!::isatty(fd)) {
        code = kSysFileNotFound;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        code = errno == EWOULDBLOCK ? kSysAccessDenied : SystemCodeFromErrno(errno);
    } else {
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    return code;
}

int SystemCodeFromErrno(int err) {
    for (const auto& entry : kErrnoCodes) {
        if (entry.err == err) {
            return entry.code;
        }
    }
    return kErrnoBase + err;
}

namespace {

int ErrnoOfCode(int code) {
    if (code >= kErrnoBase) {
        // Only numbers the system names are errors of its own.
        const int err = code - kErrnoBase;
        return std::string_view(std::strerror(err)).starts_with("Unknown error") ? 0 : err;
    }
    for (const auto& entry : kErrnoCodes) {
        if (entry.code == code) {
            return entry.err;
        }
    }
    return 0;
}

}  // namespace

std::string SystemErrorText(int code) {
    if (code == kSysNoMoreThreads) {
        // pthread_create says only EAGAIN, whose text ("Resource temporarily unavailable")
        // would not tell the user what ran out.
        return "No more threads can be created in the system";
    }
    const int err = ErrnoOfCode(code);
    if (err == 0) {
        return "Unknown error " + std::to_string(code);
    }
    return CleanText(std::strerror(err));
}

bool HasSystemErrorText(int code) {
    return code == kSysNoMoreThreads || ErrnoOfCode(code) != 0;
}

namespace {

std::mutex& FactoryLock() {
    static std::mutex lock;
    return lock;
}

SerialDeviceFactory& InstalledFactory() {
    static SerialDeviceFactory factory;
    return factory;
}

}  // namespace

std::unique_ptr<SerialDevice> CreatePosixSerialDevice() {
    return std::make_unique<PosixSerialDevice>();
}

SerialDeviceFactory SetSerialDeviceFactory(SerialDeviceFactory factory) {
    std::lock_guard lock(FactoryLock());
    return std::exchange(InstalledFactory(), std::move(factory));
}

std::unique_ptr<SerialDevice> CreateSerialDevice() {
    SerialDeviceFactory factory;
    {
        std::lock_guard lock(FactoryLock());
        factory = InstalledFactory();
    }
    // Called outside the lock: a factory may itself create the POSIX device or take its time.
    if (factory) {
        if (auto device = factory()) {
            return device;
        }
    }
    return CreatePosixSerialDevice();
}

std::string PortsFolder() {
    const char* dir = std::getenv("VENTRIX_PORTS_DIR");
    if (dir && *dir) {
        return dir;
    }
    return HomeFolder() + "/.config/ventrix/ports";
}

std::string DefaultPortDevicePath(int n) {
    if (n >= 1 && n <= 4) {
        return "/dev/ttyS" + std::to_string(n - 1);
    }
    if (n >= 5 && n <= 20) {
        return "/dev/ttyUSB" + std::to_string(n - 5);
    }
    if (n >= 21 && n <= 30) {
        return "/dev/ttyACM" + std::to_string(n - 21);
    }
    if (n >= 31 && n <= 40) {
        return "/dev/ttyS" + std::to_string(n - 27);
    }
    if (n >= 41 && n <= 50) {
        return "/dev/rfcomm" + std::to_string(n - 41);
    }
    return {};
}

std::string PortDevicePath(int n) {
    if (n < 1 || n > kMaxPortNumber) {
        return {};
    }
    std::string entry = PortsFolder() + "/COM" + std::to_string(n);
    return Exists(entry) ? entry : DefaultPortDevicePath(n);
}

std::string PortDeviceName(int n) {
    std::string path = PortDevicePath(n);
    if (path.empty() || path.rfind("/dev/", 0) == 0) {
        return path;
    }
    char target[4096];
    ssize_t len = ::readlink(path.c_str(), target, sizeof target - 1);
    if (len <= 0) {
        return path;
    }
    std::string text(target, static_cast<std::size_t>(len));
    if (text.front() != '/') {
        text = PortsFolder() + "/" + text;
    }
    return text;
}

}  // namespace vx
