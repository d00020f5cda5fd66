#include "logging/ConnectionLog.h"

#include <utility>

namespace vx {
namespace {

class SystemClock : public LogClock {
public:
    std::chrono::system_clock::time_point WallNow() const override {
        return std::chrono::system_clock::now();
    }
};

}  // namespace

const LogClock& SystemLogClock() {
    static const SystemClock clock;
    return clock;
}

ConnectionLog::ConnectionLog(LogEnvironment& environment, const LogClock& clock,
                             LogWriterSettings settings)
    : environment_(environment), clock_(clock), settings_(std::move(settings)) {}

ConnectionLog::~ConnectionLog() = default;

void ConnectionLog::StartLogging(const std::string& base) {
    if (logging_) {
        WriteLogFile();
    }
    logging_ = true;
    newRun_ = true;
    options_ = environment_.LogRecordOptions();
    logFileBase_ = base;
    BeginLogFile();
}

void ConnectionLog::BeginLogFile() {
    EndCurrentFile();
    AddNewFile();
}

void ConnectionLog::WriteLogFile() {
    EndCurrentFile();
}

void ConnectionLog::StopLogging() {
    if (logging_) {
        WriteLogFile();
        logging_ = false;
    }
}

void ConnectionLog::LogMessage(std::string_view message) {
    if (!logging_) {
        return;
    }
    if (newLogFileRequested_) {
        EndCurrentFile();
        AddNewFile();
    }
    ++recordCount_;
    // A refused record (nothing can be written anywhere and the memory for waiting records is
    // full) is counted by the writer and told from Tick.
    Writer().AddRecord(message, clock_.WallNow());
}

void ConnectionLog::Tick() {
    if (!writer_) {
        return;
    }
    // Reports are the last step: a modal box may show, during which more messages arrive.
    for (const std::string& report : writer_->TakeReports()) {
        environment_.ReportLogError(report);
    }
}

bool ConnectionLog::HasUnwrittenRecords() const {
    return writer_ && writer_->Status().unwritten;
}

std::string ConnectionLog::CurrentLogFileName() const {
    if (!logging_ || !writer_) {
        return std::string();
    }
    return writer_->Status().currentFile;
}

int ConnectionLog::SyncCount() const {
    return writer_ ? writer_->Status().syncCount : 0;
}

long ConnectionLog::LostRecords() const {
    return writer_ ? writer_->Status().lostRecords : 0;
}

std::size_t ConnectionLog::WaitingBytes() const {
    return writer_ ? writer_->Status().waitingBytes : 0;
}

bool ConnectionLog::WaitUntilWritten(std::chrono::milliseconds timeout) {
    return !writer_ || writer_->WaitUntilWritten(timeout);
}

LogWriter& ConnectionLog::Writer() {
    if (!writer_) {
        writer_ = MakeLogWriter(environment_.LogFormatter().Clone(), settings_);
    }
    return *writer_;
}

void ConnectionLog::EndCurrentFile() {
    if (fileOpen_) {
        fileOpen_ = false;
        Writer().EndFile(clock_.WallNow());
    }
}

void ConnectionLog::AddNewFile() {
    newLogFileRequested_ = false;
    recordCount_ = 0;
    const auto now = clock_.WallNow();
    LogFileStart start;
    start.base = logFileBase_;
    start.connectionName = connectionName_;
    start.header = LogHeader{environment_.LogCaption(), environment_.LogDescription(),
                             connectionName_, outputFormatName_};
    start.opened = now;
    start.options = options_;
    start.newRun = std::exchange(newRun_, false);
    Writer().BeginFile(std::move(start));
    fileOpen_ = true;
}

}  // namespace vx
