#pragma once
// What the log dialog asks of the main window: its minute tick marks every connection for a
// new file at a segment boundary and shows how long logging has run.

namespace vx {

class LogHost {
public:
    virtual ~LogHost() = default;
    // Every connection window gets RequestNewLogFile.
    virtual void RequestNewLogFiles() = 0;
    // The status bar's minute panel shows n followed by " mins".
    virtual void ShowLogMinutes(int minutes) = 0;
};

}  // namespace vx
