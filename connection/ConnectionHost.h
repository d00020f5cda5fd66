#pragma once
// What a connection window needs from the rest of the program: the main window's display
// choices that it reads at every refresh, the connect dialog's format table and selection, the
// log dialog's settings for its log files, and where its alarms go. The main window implements
// it; until one is installed a plain default stands in, which tests can adjust.

#include "alarm/AlarmCheck.h"
#include "connection/LinkWatch.h"
#include "connection/OutputFormats.h"
#include "logging/ConnectionLog.h"
#include "logging/LogText.h"

#include <string>
#include <vector>

namespace vx {

class ConnectionHost : public AlarmSink {
public:
    // The direction axis choice "0 - 359 degrees" is selected (else 0 - 539).
    virtual bool DirectionAxis359() const = 0;
    // The speed average type is "Vector" (else scalar).
    virtual bool MagAverageVector() const = 0;
    // The direction average type is "Vector" (else scalar).
    virtual bool DirAverageVector() const = 0;

    // The connect dialog's one format table, and the position selected in it at this moment.
    virtual OutputFormatTable& FormatTable() = 0;
    virtual int SelectedFormatPosition() const = 0;

    // A connection's line changed state (online, port lost, no data). Nothing to do by default.
    virtual void LinkStateChanged(const std::string& connectionName, LinkState state) {
        static_cast<void>(connectionName);
        static_cast<void>(state);
    }

    // The log dialog's settings that a connection's log files read (caption, description,
    // record options, date formats) and where a failed file is reported.
    virtual LogEnvironment& LogSettings() = 0;
};

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

// The host that new connection windows use: the one installed, else a default for the whole run.
ConnectionHost& CurrentConnectionHost();
// Installs the host (not owned); nullptr goes back to the default. Returns the previous one.
ConnectionHost* SetConnectionHost(ConnectionHost* host);
// The default host itself, for tests that adjust its values.
DefaultConnectionHost& DefaultHost();

}  // namespace vx
