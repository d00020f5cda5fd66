#pragma once
// Waits of the user-interface thread that keep handling the program's events: the connection's
// detection and close, the baud-rate search. Once the application is quitting
// (QCoreApplication::exit, or a quit that every window accepted) every local event loop returns
// at once without handling anything, so a wait that only re-enters its loop until its own
// condition holds would spin a core for ever and the process would never end. These helpers tell
// the wait, and every such wait must give up when they return false.

class QEventLoop;

namespace vx {

// Runs the loop until it is quit. False when the application is quitting.
bool ExecLocalLoop(QEventLoop& loop);
// Handles the events pending now (timers due, posted work, input). False when the application
// is quitting.
bool HandlePendingEvents();
// Whether the last of these waits found the application quitting.
bool ApplicationQuitting();

}  // namespace vx
