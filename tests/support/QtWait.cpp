#include "tests/support/QtWait.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace vx::test {

bool WaitFor(const std::function<bool()>& pred, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired()) {
            return pred();
        }
        // An event loop, not a processEvents() spin: it sleeps until something happens.
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void Pump(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace vx::test
