#pragma once
// What the main window asks of a connection window. The main window finds connections among its
// document windows and pushes every global setting through this interface, so the frame does not
// depend on the connection window's own class.

#include "alarm/AlarmSettings.h"
#include "connection/LinkWatch.h"

#include <string>

namespace vx {

class ConnectionOps {
public:
    virtual ~ConnectionOps() = default;

    // Global display settings, pushed to every connection window (closed ones included) whenever
    // the user changes them, and to a new connection right after it connected.
    virtual void SetUnits(int units) = 0;              // 0 m/s, 1 knots, 2 mph, 3 kph, 4 fpm
    virtual void SetDisplayMode(int displayMode) = 0;  // 1 polar, 0 UV
    virtual void SetYScale(int yScale) = 0;            // full scale of the speed axis, display unit
    virtual void SetDirectionRange(int range) = 0;     // 360 or 540
    virtual void SetRoseType(int roseType) = 0;        // 0 angular, 1 NSEW, 2 marine
    virtual void SetAveraging(int minutes) = 0;        // 0 (off), 2 or 10
    virtual void SetAlarmSettings(const AlarmSettings& settings) = 0;

    // Logging, started and stopped for all connections at once.
    virtual void StartLogging(const std::string& base) = 0;
    virtual void StopLogging() = 0;
    virtual void RequestNewLogFile() = 0;

    // A closed connection has released its port; its window stays until the program ends.
    virtual int ComNumber() const = 0;
    virtual bool IsClosed() const = 0;

    // The close query of the connection: true when it may close (asks the user as needed).
    virtual bool CloseQuery() = 0;

    // The connection's name, and how its line stands (for the main window's status bar and
    // anything else that reports a station's health). A connection tells its host when the state
    // changes (ConnectionHost::LinkStateChanged).
    virtual std::string Name() const = 0;
    virtual LinkState CurrentLinkState() const = 0;
};

}  // namespace vx
