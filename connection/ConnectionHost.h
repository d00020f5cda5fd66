#pragma once
// What a connection window needs from the rest of the program: the main window's display
// choices that it reads at every refresh, the connect dialog's format table and selection, the
// log dialog's settings for its log files, and where its alarms go. The program's start-up
// implements it from its windows and gives it to every connection window it makes.

#include "alarm/AlarmCheck.h"
#include "connection/LinkWatch.h"
#include "connection/OutputFormats.h"
#include "logging/ConnectionLog.h"

#include <string>

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

}  // namespace vx
