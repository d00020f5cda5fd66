#pragma once
// A connection window's host for tests and benchmarks, with plain values they can set.

#include "connection/ConnectionHost.h"
#include "logging/LogText.h"

#include <string>
#include <vector>

namespace vx {

// A stand-in with plain, settable values: vector averages, the 0 - 359 axis, the shipped format
// table with the second format selected, an empty log description, and alarms that are only
// counted. Log errors are kept as well, so a test can read them.
class DefaultConnectionHost : public ConnectionHost, public LogEnvironment {
public:
    bool DirectionAxis359() const override { return directionAxis359; }
    bool MagAverageVector() const override { return magAverageVector; }
    bool DirAverageVector() const override { return dirAverageVector; }
    OutputFormatTable& FormatTable() override { return formatTable; }
    int SelectedFormatPosition() const override { return selectedFormatPosition; }
    LogEnvironment& LogSettings() override { return *this; }

    std::string LogCaption() const override { return caption; }
    std::vector<std::string> LogDescription() const override { return description; }
    RecordOptions LogRecordOptions() const override { return recordOptions; }
    const LogTimeFormatter& LogFormatter() const override { return formatter; }
    void ReportLogError(const std::string& message) override { logErrors.push_back(message); }

    void RaiseSpeedAlarm(const std::string& connectionName) override {
        speedAlarms.push_back(connectionName);
    }
    void RaiseDirectionAlarm(const std::string& connectionName) override {
        directionAlarms.push_back(connectionName);
    }
    void RaiseNoDataAlarm(const std::string& connectionName) override {
        noDataAlarms.push_back(connectionName);
    }

    bool directionAxis359 = true;
    bool magAverageVector = true;
    bool dirAverageVector = true;
    OutputFormatTable formatTable;
    int selectedFormatPosition = 1;

    std::string caption = "Ventrix";
    std::vector<std::string> description;
    RecordOptions recordOptions;
    PlainTimeFormatter formatter;
    std::vector<std::string> logErrors;

    std::vector<std::string> speedAlarms;
    std::vector<std::string> directionAlarms;
    std::vector<std::string> noDataAlarms;
};

}  // namespace vx
