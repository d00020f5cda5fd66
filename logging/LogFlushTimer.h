#pragma once
// Drives a connection's log four times a second, so a record that arrives just before a quiet
// spell is synced within about a second of the previous sync, and files that could not be
// written are tried again, also after logging has stopped.

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
