#include "tests/sim/SimHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace vx::simtest {

namespace {

speed_t SpeedConstant(unsigned baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        default:
            return B115200;
    }
}

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::string Unescape(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            bytes += static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3]));
            i += 3;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

}  // namespace

SlavePort::~SlavePort() {
    Close();
}

bool SlavePort::Open(const std::string& path, unsigned baud) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        return false;
    }
    termios line{};
    tcgetattr(fd_, &line);
    cfmakeraw(&line);
    line.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd_, TCSANOW, &line);
    hungUp_ = false;
    return SetBaud(baud);
}

bool SlavePort::SetBaud(unsigned baud) {
    termios line{};
    if (tcgetattr(fd_, &line) != 0) {
        return false;
    }
    cfsetispeed(&line, SpeedConstant(baud));
    cfsetospeed(&line, SpeedConstant(baud));
    return tcsetattr(fd_, TCSANOW, &line) == 0;
}

void SlavePort::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

void SlavePort::Send(const std::string& bytes) {
    [[maybe_unused]] ssize_t written = write(fd_, bytes.data(), bytes.size());
}

bool SlavePort::ReadSome(int timeoutMs, std::string& into) {
    pollfd entry{fd_, POLLIN, 0};
    if (poll(&entry, 1, timeoutMs) <= 0) {
        return false;
    }
    char buffer[4096];
    const ssize_t count = read(fd_, buffer, sizeof buffer);
    if (count > 0) {
        into.append(buffer, static_cast<std::size_t>(count));
        return true;
    }
    if (count == 0 || errno == EIO || (entry.revents & POLLHUP)) {
        hungUp_ = true;
    }
    return false;
}

std::string SlavePort::ReadFor(Clock::duration window) {
    std::string data;
    const Clock::time_point deadline = Clock::now() + window;
    while (!hungUp_ && Clock::now() < deadline) {
        ReadSome(RemainingMs(deadline), data);
    }
    return data;
}

std::string SlavePort::ReadMessages(std::size_t count, bool nmea, Clock::duration limit) {
    std::string data;
    const Clock::time_point deadline = Clock::now() + limit;
    while (!hungUp_ && Clock::now() < deadline) {
        ReadSome(RemainingMs(deadline), data);
        const auto messages = SplitMessages(data, nmea);
        if (messages.size() >= count && data.size() >= 2 && data.back() == '\n') {
            break;
        }
    }
    return data;
}

std::string SlavePort::ReadUntilHangup(Clock::duration limit) {
    std::string data;
    const Clock::time_point deadline = Clock::now() + limit;
    while (!hungUp_ && Clock::now() < deadline) {
        ReadSome(RemainingMs(deadline), data);
    }
    return data;
}

std::vector<ParsedMessage> SplitMessages(const std::string& stream, bool nmea) {
    const char start = nmea ? '$' : '\x02';
    const char delimiter = nmea ? '*' : '\x03';
    std::vector<ParsedMessage> messages;
    std::size_t at = stream.find(start);
    while (at != std::string::npos) {
        const std::size_t end = stream.find("\r\n", at);
        if (end == std::string::npos) {
            break;
        }
        ParsedMessage message;
        message.raw = stream.substr(at, end + 2 - at);
        const std::size_t split = message.raw.find(delimiter);
        message.framed = split != std::string::npos && split + 5 == message.raw.size() &&
                         HexValue(message.raw[split + 1]) >= 0 &&
                         HexValue(message.raw[split + 2]) >= 0 &&
                         !std::islower(static_cast<unsigned char>(message.raw[split + 1])) &&
                         !std::islower(static_cast<unsigned char>(message.raw[split + 2]));
        if (message.framed) {
            unsigned sum = 0;
            for (std::size_t i = 1; i < split; ++i) {
                sum ^= static_cast<unsigned char>(message.raw[i]);
            }
            const int stated =
                HexValue(message.raw[split + 1]) * 16 + HexValue(message.raw[split + 2]);
            message.checksumOk = static_cast<int>(sum) == stated;
            std::stringstream body(message.raw.substr(1, split - 1));
            std::string field;
            while (std::getline(body, field, ',')) {
                message.fields.push_back(field);
            }
        }
        messages.push_back(message);
        at = stream.find(start, end + 2);
    }
    return messages;
}

int CountAcceptedPackets(const std::string& stream, bool nmea) {
    const char start = nmea ? '$' : '\x02';
    const char delimiter = nmea ? '*' : '\x03';
    int accepted = 0;
    std::size_t at = stream.find(start);
    while (at != std::string::npos) {
        const std::size_t cr = stream.find('\r', at + 1);
        if (cr == std::string::npos) {
            break;
        }
        const std::string packet = stream.substr(at, cr + 1 - at);
        const std::size_t split = packet.find(delimiter, 1);
        if (packet.size() >= 10 && split != std::string::npos) {
            unsigned sum = 0;
            for (std::size_t i = 1; i < split; ++i) {
                sum ^= static_cast<unsigned char>(packet[i]);
            }
            std::size_t i = split + 1;
            while (i < packet.size() && std::isspace(static_cast<unsigned char>(packet[i]))) {
                ++i;
            }
            unsigned value = 0;
            bool digits = false;
            for (; i < packet.size() && HexValue(packet[i]) >= 0; ++i) {
                value = value * 16 + static_cast<unsigned>(HexValue(packet[i]));
                digits = true;
            }
            accepted += digits && (value & 0xFF) == sum ? 1 : 0;
        }
        at = stream.find(start, cr + 1);
    }
    return accepted;
}

std::vector<LogLine> ReadSendLog(const std::string& path) {
    std::vector<LogLine> lines;
    std::ifstream file(path);
    std::string text;
    while (std::getline(file, text)) {
        if (text.empty() || text[0] == '#') {
            continue;
        }
        std::stringstream row(text);
        LogLine line;
        std::string time;
        std::string accepted;
        std::string bytes;
        std::getline(row, line.sequence, '\t');
        std::getline(row, time, '\t');
        std::getline(row, line.status, '\t');
        std::getline(row, accepted, '\t');
        std::getline(row, bytes);
        std::from_chars(time.data(), time.data() + time.size(), line.time);
        std::from_chars(accepted.data(), accepted.data() + accepted.size(), line.accepted);
        line.bytes = Unescape(bytes);
        lines.push_back(line);
    }
    return lines;
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::string Printable(const std::string& bytes) {
    std::string text;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte <= 0x7F) {
            text += c;
        }
    }
    return text;
}

}  // namespace vx::simtest
