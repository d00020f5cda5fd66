// The raw port of the search against a pseudo-terminal whose other end the test holds: what the
// port sends arrives there, and what the test writes there is what the port reads.

#include "serial/Comms.h"
#include "tests/autofind/SimPorts.h"
#include "tests/support/PseudoTerminal.h"

#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace vx {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPort = 7;

// The test's end of the line: what it writes goes out whole or fails the test.
class PtyEnd : public test::PseudoTerminal {
public:
    void Write(const std::string& bytes) {
        ASSERT_EQ(write(Master(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Reads until `wanted` bytes have arrived or 5 s have passed.
    std::string ReadSome(std::size_t wanted) { return Read(wanted, std::chrono::seconds(5)); }
    speed_t ProgramSpeed() const { return SlaveSpeed(); }
};

class RawPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(ports_.Path().empty());
        ASSERT_FALSE(pty_.SlavePath().empty());
        const std::string link = ports_.Path() + "/COM" + std::to_string(kPort);
        unlink(link.c_str());
        ASSERT_EQ(symlink(pty_.SlavePath().c_str(), link.c_str()), 0);
    }

    test::PrivatePortsFolder ports_;
    PtyEnd pty_;
    TcommsForm comms_;
};

TEST_F(RawPortTest, OpensAtTheRequestedRateAndSendsSingleBytes) {
    ASSERT_TRUE(comms_.OpenPort(kPort, 1200, 'E'));
    EXPECT_TRUE(comms_.IsOpen());
    EXPECT_EQ(pty_.ProgramSpeed(), B1200);
    EXPECT_EQ(comms_.Baud(), 1200);
    EXPECT_EQ(comms_.Parity(), 'E');
    comms_.SendChar('$');
    comms_.SendChar('$');
    EXPECT_EQ(pty_.ReadSome(2), "$$");

    // Reopening at another rate closes the first device and applies the new rate.
    ASSERT_TRUE(comms_.OpenPort(kPort, 57600, 'N'));
    EXPECT_EQ(pty_.ProgramSpeed(), B57600);
}

// Each read takes one byte off the line; only 0x20..0x7F are handed over.
TEST_F(RawPortTest, ReadsOnlyPrintableCharactersAndConsumesTheRest) {
    ASSERT_TRUE(comms_.OpenPort(kPort, 9600, 'N'));
    pty_.Write(std::string("R\rE\n\x02S\x80\xff\x7f", 9));
    char c = 0;
    std::string got;
    std::string pattern;
    for (int i = 0; i < 9; ++i) {
        // The first read may come before the bytes crossed the terminal: allow a few empty ones.
        bool printable = comms_.ReadPrintable(c);
        for (int retry = 0; i == 0 && !printable && retry < 100; ++retry) {
            printable = comms_.ReadPrintable(c);
        }
        pattern += printable ? 'p' : '-';
        if (printable) {
            got += c;
        }
    }
    EXPECT_EQ(got, std::string("RES\x7f"));
    EXPECT_EQ(pattern, "p-p--p--p") << "every byte is one read, printable or not";
    EXPECT_FALSE(comms_.ReadPrintable(c)) << "nothing is left on the line";
}

TEST_F(RawPortTest, AMissingDeviceDoesNotOpenAndSendingAndReadingDoNothing) {
    EXPECT_FALSE(comms_.OpenPort(kPort + 1, 9600, 'N'));
    EXPECT_FALSE(comms_.IsOpen());
    EXPECT_FALSE(comms_.CanRead()) << "the search must wait on its timer instead of reading";
    comms_.SendChar('$');
    char c = 0;
    EXPECT_FALSE(comms_.ReadPrintable(c));
    EXPECT_FALSE(comms_.OpenPort(0, 9600, 'N'));
    EXPECT_FALSE(comms_.OpenPort(51, 9600, 'N'));
}

TEST_F(RawPortTest, ClosingReleasesTheDeviceForOthers) {
    ASSERT_TRUE(comms_.OpenPort(kPort, 9600, 'N'));
    TcommsForm other;
    EXPECT_FALSE(other.OpenPort(kPort, 9600, 'N')) << "held exclusively while open";
    EXPECT_TRUE(comms_.ClosePort());
    EXPECT_FALSE(comms_.IsOpen());
    EXPECT_TRUE(comms_.ClosePort()) << "closing a closed port is fine";
    EXPECT_TRUE(other.OpenPort(kPort, 9600, 'N'));
}

}  // namespace
}  // namespace vx
