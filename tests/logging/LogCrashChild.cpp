// Logs one record every few milliseconds until it is killed, and after each record tells its
// parent on stdout which record it has just handed to the log.

#include "logging/ConnectionLog.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

class Environment : public vx::LogEnvironment {
public:
    std::string LogCaption() const override { return "Ventrix"; }
    std::vector<std::string> LogDescription() const override { return {}; }
    vx::RecordOptions LogRecordOptions() const override { return {true, false}; }
    const vx::LogTimeFormatter& LogFormatter() const override { return formatter_; }
    void ReportLogError(const std::string& message) override {
        std::fprintf(stderr, "%s\n", message.c_str());
    }

private:
    vx::PlainTimeFormatter formatter_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <log base name>\n", argv[0]);
        return 2;
    }
    Environment environment;
    vx::ConnectionLog log(environment);
    log.SetConnectionName("Crash");
    log.SetOutputFormatName("TEST");
    log.StartLogging(argv[1]);
    for (int record = 1;; ++record) {
        log.LogMessage("record " + std::to_string(record));
        std::printf("%d\n", record);
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}
