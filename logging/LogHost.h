#pragma once
// What the log dialog and the main window ask of each other: the dialog's minute tick marks every
// connection for a new file at a segment boundary and shows how long logging has run.

#include <string>

namespace vx {

class LogHost {
public:
    virtual ~LogHost() = default;
    // Every connection window gets RequestNewLogFile.
    virtual void RequestNewLogFiles() = 0;
    // The status bar's minute panel shows n followed by " mins".
    virtual void ShowLogMinutes(int minutes) = 0;
};

// What the main window asks of the log dialog, which implements it.
class LogDialogOps {
public:
    virtual ~LogDialogOps() = default;
    virtual void ShowLogDialog() = 0;  // modeless
    // Full path given to connections when logging starts; remembered in the settings store.
    virtual std::string LogFileName() const = 0;
    virtual void StartLogTimer() = 0;
    virtual void StopLogTimer() = 0;
};

}  // namespace vx
