#include "logging/LogFlushTimer.h"

#include "logging/ConnectionLog.h"

namespace vx {

LogFlushTimer::LogFlushTimer(ConnectionLog& log, QObject* parent) : QObject(parent), log_(log) {
    timer_.setInterval(kPeriodMs);
    connect(&timer_, &QTimer::timeout, this, [this] { log_.Tick(); });
    timer_.start();
}

}  // namespace vx
