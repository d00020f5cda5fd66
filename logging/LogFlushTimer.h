#pragma once
// Brings what a connection's log writer has to tell (a file that cannot be created, a fallback
// folder in use) to the user-interface thread four times a second, also after logging stopped:
// the writer's own thread must never show anything.

#include <QObject>
#include <QTimer>

namespace vx {

class ConnectionLog;

class LogFlushTimer : public QObject {
    Q_OBJECT
public:
    static constexpr int kPeriodMs = 250;

    LogFlushTimer(ConnectionLog& log, QObject* parent = nullptr);

private:
    ConnectionLog& log_;
    QTimer timer_;
};

}  // namespace vx
