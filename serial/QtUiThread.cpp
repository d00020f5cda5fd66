#include "serial/QtUiThread.h"

#include "platform/MessageBox.h"
#include "serial/SelectPortDlg.h"
#include "serial/Serport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <QTimer>

namespace vx {

QtUiThread::QtUiThread() : receiver_(std::make_unique<QObject>()) {}

QtUiThread::~QtUiThread() = default;

bool QtUiThread::IsUiThread() const {
    return QThread::currentThread() == receiver_->thread();
}

void QtUiThread::RunSync(std::function<void()> fn) {
    // A blocking queued call from the thread to itself would wait for ever.
    if (IsUiThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(
        receiver_.get(), [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

void QtUiThread::PostToUi(std::function<void()> fn, int delayMs) {
    QObject* receiver = receiver_.get();
    if (delayMs <= 0) {
        QMetaObject::invokeMethod(receiver, std::move(fn), Qt::QueuedConnection);
        return;
    }
    // The timer must start on the thread that owns the receiver.
    QMetaObject::invokeMethod(
        receiver,
        [receiver, delayMs, fn = std::move(fn)] { QTimer::singleShot(delayMs, receiver, fn); },
        Qt::QueuedConnection);
}

bool QtUiThread::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    // The tick bounds each sleep of the event dispatcher, so the deadline is seen in time.
    QTimer tick;
    tick.start(20);
    while (!done()) {
        if (timeoutMs >= 0 && elapsed.elapsed() >= timeoutMs) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void QtUiThread::Wake() {
    QMetaObject::invokeMethod(
        receiver_.get(), [] {}, Qt::QueuedConnection);
}

void InstallQtUiThread() {
    static QtUiThread ui;
    SetUiThread(&ui);
}

void InstallSerialDialogs() {
    InstallQtUiThread();
    SetErrorDisplay(
        [](const std::string& message) { ShowErrorBox(QString::fromStdString(message)); });
    SetPortSelectionHook([](const std::vector<int>& available) {
        return TSelectPortDlg::Choose(available, nullptr);
    });
}

}  // namespace vx
