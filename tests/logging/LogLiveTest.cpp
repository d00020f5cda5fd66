// Four simulated instruments at 100 Hz read live by the program's connection windows and logged
// while every sync of the disk takes half a second (a slow USB stick): the ports never wait for
// the disk, so every message each instrument sent that the program accepts is in its log file,
// once and in order.

#include "connection/Anemometer.h"
#include "logging/LogWriter.h"
#include "tests/connection/ConnectionTestSupport.h"
#include "tests/logging/LogTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/DefaultConnectionHost.h"
#include "tests/support/PortsFolder.h"
#include "tests/support/QtWait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

namespace vx {
namespace {

using test::Pump;
using test::WaitFor;

constexpr int kInstruments = 4;
constexpr int kFirstPort = 41;
// Each instrument talks while the connections detect it, keeps quiet while logging starts (so
// the log's first record is known exactly), then talks on until the test stops it.
constexpr int kTalkFirst = 6;
constexpr int kQuiet = 5;
constexpr int kLoggedMessages = 1000;  // ten seconds at 100 Hz
constexpr int kGenerousMs = 30000;

std::string Unescape(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            bytes += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

std::string Trimmed(const std::string& bytes) {
    std::size_t begin = 0;
    std::size_t end = bytes.size();
    while (begin < end && static_cast<unsigned char>(bytes[begin]) <= ' ') {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(bytes[end - 1]) <= ' ') {
        --end;
    }
    return bytes.substr(begin, end - begin);
}

// The simulator's send log: what went out on the line, slot by slot.
struct SentLog {
    bool quiet = false;               // a silent slot has been logged
    bool overrun = false;             // the program stopped reading at some point
    std::vector<std::string> logged;  // accepted messages after the first silent slot
    long acceptedAfterQuiet = 0;
};

SentLog ReadSentLog(const std::string& path) {
    SentLog sent;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("#", 0) == 0) {
            continue;
        }
        std::vector<std::string> columns;
        std::istringstream fields(line);
        for (std::string column; std::getline(fields, column, '\t');) {
            columns.push_back(column);
        }
        if (columns.size() < 5) {
            continue;
        }
        const std::string& status = columns[2];
        sent.overrun = sent.overrun || status == "overrun";
        if (status == "silent") {
            sent.quiet = true;
        } else if (sent.quiet) {
            const long accepted = std::stol(columns[3]);
            sent.acceptedAfterQuiet += accepted;
            if (status == "ok" && accepted == 1) {
                sent.logged.push_back(Trimmed(Unescape(columns[4])));
            }
        }
    }
    return sent;
}

// The records of a log file, without their record numbers, which must run from 1.
std::vector<std::string> LoggedRecords(const std::string& path, bool& complete) {
    const std::string text = test::ReadFile(path);
    std::vector<std::string> records;
    complete = false;
    std::size_t at = text.find("\r\n\r\n");
    if (at == std::string::npos) {
        return records;
    }
    at += 4;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            break;
        }
        std::string line = text.substr(at, end - at);
        at = end + 2;
        if (line.rfind("Log file closed: ", 0) == 0) {
            complete = at == text.size();
            break;
        }
        const std::string number = "," + std::to_string(records.size() + 1);
        EXPECT_TRUE(line.ends_with(number)) << line;
        records.push_back(line.substr(0, line.size() - number.size()));
    }
    return records;
}

class SyncHookScope {
public:
    explicit SyncHookScope(LogSyncFunction sync) : previous_(SetLogSyncHook(std::move(sync))) {}
    ~SyncHookScope() { SetLogSyncHook(std::move(previous_)); }

private:
    LogSyncFunction previous_;
};

TEST(LogLive, FourInstrumentsAtOneHundredHertzAreLoggedWholeWhileEachSyncTakesHalfASecond) {
    test::PortsFolder ports;
    test::TempFolder work;
    conntest::BoxRecorder boxes;
    // A test double in place of fdatasync: a real disk here is too fast to show a slow one.
    test::SyncDouble sync;
    sync.Delay(std::chrono::milliseconds(500));
    SyncHookScope hook(sync.Function());
    DefaultConnectionHost host;
    host.recordOptions = {true, false};

    // Instruments the test can pause: one that ends its run hangs the line up, and the terminal
    // drops what the program has not read yet, so the test freezes the instruments instead and
    // the line stays up while the windows catch up.
    std::vector<std::unique_ptr<test::SimProcess>> sims;
    for (int i = 0; i < kInstruments; ++i) {
        const int port = kFirstPort + i;
        sims.push_back(std::make_unique<test::SimProcess>(
            ports, port,
            std::vector<std::string>{
                "--format", "VARN_UV_TWO_AXIS", "--rate", "100", "--baud", "115200", "--turbulence",
                "0.3", "--seed", std::to_string(port), "--silence-after",
                std::to_string(kTalkFirst), "--silence-for", std::to_string(kQuiet), "--duration",
                "120", "--log", work / ("sim" + std::to_string(port) + ".log")}));
        ASSERT_TRUE(sims.back()->Ready());
    }
    std::vector<std::unique_ptr<Tchild>> children;
    // Connections are closed as a user closes them, and their ports have finished closing before
    // the windows go: a port destroyed while its close is still under way handles events in its
    // destructor, and the windows must not be half destroyed then.
    struct CloseAll {
        std::vector<std::unique_ptr<Tchild>>& children;
        ~CloseAll() {
            for (auto& child : children) {
                WaitFor([&] { return child->Settled(); }, kGenerousMs);
                child->close();
            }
            WaitFor(
                [&] {
                    return std::all_of(children.begin(), children.end(), [](auto& child) {
                        return child->SerComPort1().GetState() == psClosed;
                    });
                },
                kGenerousMs);
        }
    } closeAll{children};
    for (int i = 0; i < kInstruments; ++i) {
        children.push_back(std::make_unique<Tchild>(host));
        children.back()->show();
        children.back()->Connect(kFirstPort + i, 115200, "IUVN", "VARN_UV_TWO_AXIS",
                                 "Mast " + std::to_string(i + 1), 'N');
        ASSERT_EQ(children.back()->StatusText(1), "Detecting Output Rate...");
    }
    const auto simLog = [&](int i) {
        return work / ("sim" + std::to_string(kFirstPort + i) + ".log");
    };

    // Logging starts while every instrument keeps quiet and the windows have handled all that
    // came before.
    const auto packets = [&] {
        std::vector<std::int32_t> counts;
        for (auto& child : children) {
            counts.push_back(child->Wind().Packets());
        }
        return counts;
    };
    ASSERT_TRUE(WaitFor(
        [&] {
            for (int i = 0; i < kInstruments; ++i) {
                if (!ReadSentLog(simLog(i)).quiet) {
                    return false;
                }
            }
            const auto before = packets();
            Pump(300);
            return packets() == before;
        },
        kGenerousMs));
    for (auto& child : children) {
        child->StartLogging(work / "Wind.txt");
    }
    for (int i = 0; i < kInstruments; ++i) {
        ASSERT_TRUE(ReadSentLog(simLog(i)).logged.empty())
            << "instrument " << i + 1 << " talked again too soon";
    }
    ASSERT_TRUE(WaitFor(
        [&] {
            for (int i = 0; i < kInstruments; ++i) {
                if (ReadSentLog(simLog(i)).logged.size() < kLoggedMessages) {
                    return false;
                }
            }
            return true;
        },
        kQuiet * 1000 + kLoggedMessages * 10 + kGenerousMs));
    // The instruments freeze; the windows handle what they sent last.
    for (auto& sim : sims) {
        sim->Signal(SIGSTOP);
    }
    std::vector<std::size_t> sentAtStop;
    for (int i = 0; i < kInstruments; ++i) {
        sentAtStop.push_back(ReadSentLog(simLog(i)).logged.size());
    }
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto before = packets();
            Pump(300);
            return packets() == before;
        },
        kGenerousMs));
    for (auto& child : children) {
        child->StopLogging();
    }
    ASSERT_TRUE(WaitFor(
        [&] {
            for (auto& child : children) {
                if (child->Log().HasUnwrittenRecords()) {
                    return false;
                }
            }
            return true;
        },
        kGenerousMs));

    // A message the instrument sent just as it froze is in its send log once it goes on.
    for (auto& sim : sims) {
        sim->Signal(SIGCONT);
    }
    Pump(300);

    EXPECT_GE(sync.Calls(), kInstruments * 10);  // the slow syncs really happened
    for (int i = 0; i < kInstruments; ++i) {
        SCOPED_TRACE("Mast " + std::to_string(i + 1));
        SentLog sent = ReadSentLog(simLog(i));
        EXPECT_FALSE(sent.overrun);
        EXPECT_EQ(sent.acceptedAfterQuiet, static_cast<long>(sent.logged.size()));
        bool complete = false;
        const std::vector<std::string> records =
            LoggedRecords(work / ("Wind [Mast " + std::to_string(i + 1) + "]-0.txt"), complete);
        EXPECT_TRUE(complete);
        // Everything sent before the freeze, and perhaps the one message on its way then.
        EXPECT_GE(records.size(), sentAtStop[i]);
        EXPECT_LE(records.size(), sentAtStop[i] + 1);
        sent.logged.resize(std::min(sent.logged.size(), records.size()));
        const auto mismatch =
            std::mismatch(records.begin(), records.end(), sent.logged.begin(), sent.logged.end());
        EXPECT_TRUE(mismatch.first == records.end() && mismatch.second == sent.logged.end())
            << records.size() << " records, " << sent.logged.size() << " sent; they differ from "
            << "record " << (mismatch.first - records.begin()) + 1;
    }
    EXPECT_TRUE(boxes.Boxes().empty()) << boxes.Boxes().front().text.toStdString();
}

}  // namespace
}  // namespace vx
