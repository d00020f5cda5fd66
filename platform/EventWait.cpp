#include "platform/EventWait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace vx {

namespace {

bool& QuittingSeen() {
    static bool seen = false;
    return seen;
}

// A local loop started after the application's exit returns -1 at once; our own loops are only
// ever quit with 0.
constexpr int kLoopRefused = -1;

bool Note(int result) {
    // Kept only until the next wait: a test program may run the application's loop again.
    QuittingSeen() = result == kLoopRefused;
    return !QuittingSeen();
}

}  // namespace

bool ExecLocalLoop(QEventLoop& loop) {
    return Note(loop.exec());
}

bool HandlePendingEvents() {
    // One pass of a local loop: it handles what is pending and returns with the zero timer, or
    // returns at once when the application is quitting, which processEvents() would not tell.
    QEventLoop loop;
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    return Note(loop.exec());
}

bool ApplicationQuitting() {
    return QuittingSeen();
}

}  // namespace vx
