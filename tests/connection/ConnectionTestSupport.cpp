#include "tests/connection/ConnectionTestSupport.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcessEnvironment>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace vx::conntest {

namespace {

std::string Hex2(unsigned value) {
    static const char* kDigits = "0123456789ABCDEF";
    return {kDigits[(value >> 4) & 15], kDigits[value & 15]};
}

unsigned XorOf(std::string_view body) {
    unsigned x = 0;
    for (char c : body) {
        x ^= static_cast<unsigned char>(c);
    }
    return x;
}

}  // namespace

std::string StxMessage(std::string_view body) {
    return "\x02" + std::string(body) + "\x03" + Hex2(XorOf(body)) + "\r\n";
}

std::string NmeaMessage(std::string_view body) {
    return "$" + std::string(body) + "*" + Hex2(XorOf(body)) + "\r\n";
}

bool WaitFor(const std::function<bool()>& pred, int timeoutMs) {
    return QTest::qWaitFor(pred, timeoutMs);
}

void Pump(int milliseconds) {
    QTest::qWait(milliseconds);
}

PortsFolder::PortsFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vx-conn-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = pattern;
    hadPrevious_ = qEnvironmentVariableIsSet("VENTRIX_PORTS_DIR");
    previous_ = qgetenv("VENTRIX_PORTS_DIR");
    qputenv("VENTRIX_PORTS_DIR", QByteArray::fromStdString(path_));
}

PortsFolder::~PortsFolder() {
    if (hadPrevious_) {
        qputenv("VENTRIX_PORTS_DIR", previous_);
    } else {
        qunsetenv("VENTRIX_PORTS_DIR");
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void PortsFolder::Link(int comNumber, const std::string& target) const {
    const std::string link = path_ + "/COM" + std::to_string(comNumber);
    ::unlink(link.c_str());
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        throw std::runtime_error("cannot link " + link);
    }
}

SimChild::SimChild(const PortsFolder& folder, int comNumber, const QStringList& arguments) {
    QStringList all = {QStringLiteral("--port"), QString::number(comNumber),
                       QStringLiteral("--ports-dir"), QString::fromStdString(folder.Path())};
    all += arguments;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(VX_BINARY_DIR "/tools/sim/ventrix-sim"), all);
    if (!process_.waitForStarted(10000)) {
        return;
    }
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
        if (process_.canReadLine()) {
            const QString line = QString::fromUtf8(process_.readLine());
            banner_ += line;
            if (line.trimmed() == QStringLiteral("ready")) {
                ready_ = true;
                return;
            }
            continue;
        }
        process_.waitForReadyRead(200);
    }
}

SimChild::~SimChild() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

std::string SimChild::Device() const {
    for (const QString& line : banner_.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("device: "))) {
            return line.mid(8).trimmed().toStdString();
        }
    }
    return {};
}

std::vector<std::string> SimLogSlots(const std::string& path) {
    std::vector<std::string> entries;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != '#') {
            entries.push_back(line);
        }
    }
    return entries;
}

TestLine::TestLine(const PortsFolder& folder, int comNumber) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    const char* device = ::ptsname(master_);
    if (device == nullptr) {
        throw std::runtime_error("no pseudo-terminal name");
    }
    device_ = device;
    folder.Link(comNumber, device);
}

void TestLine::Close() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

TestLine::~TestLine() {
    if (master_ >= 0) {
        ::close(master_);
    }
}

void TestLine::Write(const std::string& bytes) {
    if (master_ < 0) {
        return;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return;  // nobody listening yet, or the queue is full: the instrument talks on
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string TestLine::ReadSent() {
    std::string sent;
    if (master_ < 0) {
        return sent;
    }
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) {
            return sent;
        }
        sent.append(buffer, static_cast<std::size_t>(n));
    }
}

BoxRecorder::BoxRecorder(MessageResult answer) : answer_(answer) {
    previous_ = SetMessageBoxHook([this](const MessageRequest& request) {
        boxes_.push_back(request);
        if (request.buttons == MessageButtons::Ok) {
            return MessageResult::Ok;
        }
        return answer_;
    });
}

BoxRecorder::~BoxRecorder() {
    SetMessageBoxHook(std::move(previous_));
}

}  // namespace vx::conntest
