#include "platform/SerialDevice.h"
#include "tests/serial/SerialTestSupport.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <thread>

namespace vx {
namespace {

using test::PortsDir;
using test::PtyLink;

// Permission denied cannot be provoked on a pseudo-terminal as root (CI runs as root), so the
// mapping that makes it distinct from "in use" is checked on the function itself.
TEST(SystemCodes, ErrnoMapsToTheCodesTheMessageTableKnows) {
    EXPECT_EQ(SystemCodeFromErrno(ENOENT), kSysFileNotFound);
    EXPECT_EQ(SystemCodeFromErrno(ENXIO), kSysFileNotFound);
    EXPECT_EQ(SystemCodeFromErrno(ENODEV), kSysFileNotFound);
    EXPECT_EQ(SystemCodeFromErrno(ENOTDIR), kSysPathNotFound);
    EXPECT_EQ(SystemCodeFromErrno(EBUSY), kSysAccessDenied);
    EXPECT_EQ(SystemCodeFromErrno(EWOULDBLOCK), kSysAccessDenied);
    EXPECT_EQ(SystemCodeFromErrno(EACCES), kSysNoPermission);
    EXPECT_EQ(SystemCodeFromErrno(EPERM), kSysNoPermission);
    EXPECT_NE(SystemCodeFromErrno(EACCES), kSysAccessDenied);
    EXPECT_EQ(SystemCodeFromErrno(EIO), kSysGeneralFailure);
}

TEST(SystemCodes, UnmappedErrnoKeepsItsOwnText) {
    int code = SystemCodeFromErrno(EXDEV);
    EXPECT_GT(code, 162);  // never mistaken for one of the table's rows
    EXPECT_EQ(SystemErrorText(code), std::strerror(EXDEV));
    EXPECT_EQ(SystemErrorText(kSysGeneralFailure), std::strerror(EIO));
}

TEST(PortNames, FolderEntryWinsOverTheBuiltInTable) {
    PortsDir dir;
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(PortDevicePath(5), "/dev/ttyUSB0");
    EXPECT_EQ(PortDevicePath(20), "/dev/ttyUSB15");
    EXPECT_EQ(PortDevicePath(21), "/dev/ttyACM0");
    EXPECT_EQ(PortDevicePath(31), "/dev/ttyS4");
    EXPECT_EQ(PortDevicePath(50), "/dev/rfcomm9");
    EXPECT_EQ(PortDevicePath(0), "");
    EXPECT_EQ(PortDevicePath(51), "");
    dir.Link(5, "/dev/pts/99");
    EXPECT_EQ(PortDevicePath(5), dir.Path() + "/COM5");
    EXPECT_EQ(PortDeviceName(5), "/dev/pts/99");
    EXPECT_EQ(PortDeviceName(6), "/dev/ttyUSB1");
}

TEST(PortNames, FolderDefaultsToTheUsersConfigFolder) {
    const char* old = std::getenv("VENTRIX_PORTS_DIR");
    std::string saved = old ? old : "";
    ::unsetenv("VENTRIX_PORTS_DIR");
    std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    EXPECT_EQ(PortsFolder(), home + "/.config/ventrix/ports");
    if (old) {
        ::setenv("VENTRIX_PORTS_DIR", saved.c_str(), 1);
    }
}

class DeviceOnPty : public ::testing::Test {
protected:
    PtyLink pty_;
    std::unique_ptr<SerialDevice> device_ = CreateSerialDevice();
};

TEST_F(DeviceOnPty, OpensRawAndMovesBytesBothWays) {
    ASSERT_EQ(device_->Open(pty_.SlavePath()), 0);
    // Raw mode: a CR is not turned into LF, nothing is echoed, no line buffering.
    pty_.Write("\x02Q,1\r\n");
    std::string got;
    char buf[64];
    for (int i = 0; i < 200 && got.size() < 6; ++i) {
        long n = device_->ReadTimed(buf, sizeof buf, 50);
        ASSERT_GE(n, 0);
        got.append(buf, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(got, "\x02Q,1\r\n");
    EXPECT_EQ(device_->Write("Q\r", 2), 2);
    EXPECT_EQ(pty_.Read(2), "Q\r");
    EXPECT_EQ(pty_.Read(1, std::chrono::milliseconds(100)), "");  // no echo came back
}

TEST_F(DeviceOnPty, ReadReturnsAtOnceAndTimedReadTimesOut) {
    ASSERT_EQ(device_->Open(pty_.SlavePath()), 0);
    char c = 0;
    EXPECT_EQ(device_->Read(&c, 1), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(device_->ReadTimed(&c, 1, 20), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15));
}

TEST_F(DeviceOnPty, SecondOpenIsRefusedAsInUseEvenForRoot) {
    ASSERT_EQ(device_->Open(pty_.SlavePath()), 0);
    auto other = CreateSerialDevice();
    EXPECT_EQ(other->Open(pty_.SlavePath()), kSysAccessDenied);
    device_->Close();
    // The exclusive flag is cleared at close, so the device opens again.
    EXPECT_EQ(other->Open(pty_.SlavePath()), 0);
}

TEST_F(DeviceOnPty, MissingDeviceIsFileNotFound) {
    EXPECT_EQ(device_->Open("/dev/nonexistent-ventrix-port"), kSysFileNotFound);
    EXPECT_FALSE(device_->IsOpen());
}

TEST_F(DeviceOnPty, NotATerminalIsNoSuchPort) {
    EXPECT_EQ(device_->Open("/dev/null"), kSysFileNotFound);
}

TEST_F(DeviceOnPty, LineSettingsReachTheDevice) {
    ASSERT_EQ(device_->Open(pty_.SlavePath()), 0);
    LineSettings s;
    s.baud = 4800;
    s.parity = LineParity::Even;
    ASSERT_EQ(device_->SetLineSettings(s), 0);
    EXPECT_EQ(pty_.SlaveSpeed(), B4800);
    LineSettings back;
    ASSERT_EQ(device_->GetLineSettings(back), 0);
    EXPECT_EQ(back.baud, 4800u);
    s.baud = 12345;  // no such rate
    EXPECT_EQ(device_->SetLineSettings(s), kSysInvalidParameter);
}

TEST_F(DeviceOnPty, ModemLinesAreAbsentNotAFailure) {
    ASSERT_EQ(device_->Open(pty_.SlavePath()), 0);
    EXPECT_EQ(device_->SetDtr(true), 0);
    EXPECT_EQ(device_->SetRts(false), 0);
    std::uint32_t bits = 0xFF;
    EXPECT_EQ(device_->GetModemStatus(bits), 0);
    EXPECT_EQ(bits, 0u);
    EXPECT_FALSE(device_->HasModemLines());
}

TEST_F(DeviceOnPty, QueueCountSeesBytesJustWritten) {
    ASSERT_EQ(device_->Open(pty_.SlavePath()), 0);
    pty_.Write("abc");
    unsigned in = 0, out = 0;
    for (int i = 0; i < 100 && in < 3; ++i) {
        ASSERT_EQ(device_->QueueCounts(in, out), 0);
    }
    EXPECT_EQ(in, 3u);
}

TEST_F(DeviceOnPty, WaitIsCancelledFromAnotherThread) {
    ASSERT_EQ(device_->Open(pty_.SlavePath()), 0);
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        device_->CancelWaits();
    });
    EXPECT_EQ(device_->WaitEvent(-1), kDevEventCancelled);
    canceller.join();
    device_->ResetCancel();
    pty_.Write("x");
    EXPECT_EQ(device_->WaitEvent(test::kDeadlineMs) & kDevEventRx, kDevEventRx);
}

TEST_F(DeviceOnPty, ALineWaitIgnoresDataButSeesTheHangUp) {
    ASSERT_EQ(device_->Open(pty_.SlavePath()), 0);
    pty_.Write("data");
    EXPECT_EQ(device_->WaitEvent(100, false), 0u);
    pty_.CloseMaster();
    EXPECT_TRUE(device_->WaitEvent(test::kDeadlineMs, false) & kDevEventHangup);
}

TEST_F(DeviceOnPty, VanishedDeviceNeverMakesTheWaitSpin) {
    ASSERT_EQ(device_->Open(pty_.SlavePath()), 0);
    pty_.CloseMaster();
    EXPECT_TRUE(device_->WaitEvent(test::kDeadlineMs) & kDevEventHangup);
    EXPECT_TRUE(device_->Vanished());
    // Later waits only wait for the cancellation: they time out instead of returning at once.
    int returns = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < end) {
        EXPECT_EQ(device_->WaitEvent(100), 0u);
        ++returns;
    }
    EXPECT_LE(returns, 4);
    char c;
    EXPECT_LE(device_->Read(&c, 1), 0);
}

}  // namespace
}  // namespace vx

namespace vx {
namespace {

// A program that holds the port without a lock, in raw mode at its own speed, with input it
// has not read yet: the port list's probe must leave all of it as it was.
class ProbeOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        holder_ = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(holder_, 0);
        termios tio{};
        ASSERT_EQ(::tcgetattr(holder_, &tio), 0);
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B4800);
        ::cfsetospeed(&tio, B4800);
        tio.c_cc[VMIN] = 3;
        tio.c_cc[VTIME] = 7;
        ASSERT_EQ(::tcsetattr(holder_, TCSANOW, &tio), 0);
        ASSERT_EQ(::tcgetattr(holder_, &before_), 0);
    }
    void TearDown() override {
        if (holder_ >= 0) {
            ::close(holder_);
        }
    }
    int Unread() const {
        pollfd p{holder_, POLLIN, 0};
        ::poll(&p, 1, 1000);
        int count = 0;
        ::ioctl(holder_, FIONREAD, &count);
        return count;
    }

    PtyLink pty_;
    int holder_ = -1;
    termios before_{};
};

TEST_F(ProbeOnPty, ChangesNoSettingsFlushesNothingAndSetsNoExclusiveFlag) {
    pty_.Write("unread");
    ASSERT_EQ(Unread(), 6);
    EXPECT_EQ(ProbeSerialDevice(pty_.SlavePath()), 0);
    termios after{};
    ASSERT_EQ(::tcgetattr(holder_, &after), 0);
    EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before_));
    EXPECT_EQ(after.c_iflag, before_.c_iflag);
    EXPECT_EQ(after.c_oflag, before_.c_oflag);
    EXPECT_EQ(after.c_lflag, before_.c_lflag);
    EXPECT_EQ(after.c_cflag, before_.c_cflag);
    EXPECT_EQ(after.c_cc[VMIN], 3);
    EXPECT_EQ(after.c_cc[VTIME], 7);
    EXPECT_EQ(Unread(), 6);
    int exclusive = -1;
    ASSERT_EQ(::ioctl(holder_, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    char text[7] = {};
    EXPECT_EQ(::read(holder_, text, 6), 6);
    EXPECT_STREQ(text, "unread");
}

TEST_F(ProbeOnPty, TellsAFreePortAHeldOneAndNoTerminalApart) {
    EXPECT_EQ(ProbeSerialDevice(pty_.SlavePath()), 0);
    ASSERT_EQ(::flock(holder_, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(ProbeSerialDevice(pty_.SlavePath()), kSysAccessDenied);
    ::flock(holder_, LOCK_UN);
    EXPECT_EQ(ProbeSerialDevice("/dev/null"), kSysFileNotFound);
    EXPECT_EQ(ProbeSerialDevice("/dev/pts/does-not-exist"), kSysFileNotFound);
    // A port the serial link holds is locked, so it still counts as there (held).
    auto device = CreateSerialDevice();
    ::close(holder_);
    holder_ = -1;
    ASSERT_EQ(device->Open(pty_.SlavePath()), 0);
    EXPECT_EQ(ProbeSerialDevice(pty_.SlavePath()), kSysAccessDenied);
}

}  // namespace
}  // namespace vx
