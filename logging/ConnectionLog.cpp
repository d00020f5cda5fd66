#include "logging/ConnectionLog.h"

namespace vx {
namespace {

class SystemClock : public LogClock {
public:
    std::chrono::system_clock::time_point WallNow() const override {
        return std::chrono::system_clock::now();
    }
    std::chrono::steady_clock::time_point SteadyNow() const override {
        return std::chrono::steady_clock::now();
    }
};

}  // namespace

const LogClock& SystemLogClock() {
    static const SystemClock clock;
    return clock;
}

ConnectionLog::ConnectionLog(LogEnvironment& environment, const LogClock& clock)
    : environment_(environment), clock_(clock) {}

ConnectionLog::~ConnectionLog() = default;

void ConnectionLog::StartLogging(const std::string& base) {
    if (logging_) {
        WriteLogFile();
    }
    logging_ = true;
    options_ = environment_.LogRecordOptions();
    logFileBase_ = base;
    BeginLogFile();
}

void ConnectionLog::BeginLogFile() {
    EndCurrentFile();
    AddNewFile();
    FlushAndReport();
}

void ConnectionLog::WriteLogFile() {
    EndCurrentFile();
    FlushAndReport();
}

bool ConnectionLog::StopLogging() {
    if (logging_) {
        WriteLogFile();
        logging_ = false;
    }
    return !HasUnwrittenRecords();
}

void ConnectionLog::LogMessage(std::string_view message) {
    if (!logging_) {
        return;
    }
    if (newLogFileRequested_) {
        EndCurrentFile();
        AddNewFile();
    }
    LogFile* file = CurrentFile();
    if (file == nullptr) {
        return;
    }
    ++recordCount_;
    file->Append(
        LogRecordText(message, options_, recordCount_, environment_.LogFormatter(), LocalNow()));
    FlushAndReport();
}

void ConnectionLog::Tick() {
    if (!files_.empty()) {
        FlushAndReport();
    }
}

bool ConnectionLog::HasUnwrittenRecords() const {
    for (const auto& file : files_) {
        if (file->HasUnwrittenText() || (file->Ended() && !file->Closed())) {
            return true;
        }
    }
    return false;
}

std::string ConnectionLog::CurrentLogFileName() const {
    const LogFile* file = CurrentFile();
    return file == nullptr ? std::string() : file->Name();
}

LogFile* ConnectionLog::CurrentFile() const {
    if (files_.empty() || files_.back()->Ended()) {
        return nullptr;
    }
    return files_.back().get();
}

void ConnectionLog::EndCurrentFile() {
    if (LogFile* file = CurrentFile()) {
        file->Append(LogClosingText(environment_.LogFormatter(), LocalNow()));
        file->End();
    }
}

void ConnectionLog::AddNewFile() {
    newLogFileRequested_ = false;
    recordCount_ = 0;
    const LogHeader header{environment_.LogCaption(), environment_.LogDescription(),
                           connectionName_, outputFormatName_};
    auto file = std::make_unique<LogFile>(logFileBase_, connectionName_);
    file->Append(LogHeaderText(header, environment_.LogFormatter(), LocalNow()));
    files_.push_back(std::move(file));
}

LocalDateTime ConnectionLog::LocalNow() const {
    return ToLocalDateTime(clock_.WallNow());
}

bool ConnectionLog::FlushFiles() {
    const auto now = clock_.SteadyNow();
    while (!files_.empty()) {
        LogFile& file = *files_.front();
        const int syncsBefore = file.SyncCount();
        const bool flushed = file.Flush(now, kSyncInterval);
        syncCount_ += file.SyncCount() - syncsBefore;
        if (!flushed) {
            failedFileName_ = file.Name();
            return false;
        }
        if (!file.Closed()) {
            // Only the current file can still be open, and it is always last.
            return true;
        }
        files_.pop_front();
    }
    return true;
}

void ConnectionLog::FlushAndReport() {
    const bool flushed = FlushFiles();
    if (flushed) {
        errorReported_ = false;
        return;
    }
    if (errorReported_) {
        return;
    }
    errorReported_ = true;
    // Last step: the report may show a modal box, during which more messages can arrive.
    environment_.ReportLogError(CannotCreateFileText(failedFileName_));
}

}  // namespace vx
