#pragma once
// The user-interface thread of a Qt program: the blocking hand-over is a blocking queued call to
// an object living on that thread, and waits handle Qt's events. Needs only QCoreApplication.

#include "serial/UiThread.h"

#include <memory>

class QObject;

namespace vx {

class QtUiThread : public UiThread {
public:
    // Construct on the thread that runs the Qt event loop.
    QtUiThread();
    ~QtUiThread() override;

    bool IsUiThread() const override;
    void RunSync(std::function<void()> fn) override;
    void PostToUi(std::function<void()> fn, int delayMs = 0) override;
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs) override;
    void Wake() override;

private:
    std::unique_ptr<QObject> receiver_;
};

// Installs a QtUiThread for the whole run (call once on the Qt thread, after the application
// object exists).
void InstallQtUiThread();
// Also routes the serial link's uncaught errors to the standard error box and its port
// selection to the "Select Port" dialog (a widget program).
void InstallSerialDialogs();

}  // namespace vx
