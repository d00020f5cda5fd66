#pragma once
// The synchronous hand-over of a dispatcher thread to the user-interface thread, which the
// dispatcher's port can call off. A port being destroyed must neither wait for the
// user-interface thread to run deliveries for windows that are going, nor run them: calling the
// hand-over off releases the waiting dispatcher thread without running its routine.

#include <functional>
#include <memory>
#include <mutex>

namespace vx {

class UiThread;

class UiHandOver {
public:
    explicit UiHandOver(UiThread& ui);
    ~UiHandOver();
    UiHandOver(const UiHandOver&) = delete;
    UiHandOver& operator=(const UiHandOver&) = delete;

    // On a dispatcher thread: runs fn on the user-interface thread and returns once it has run,
    // or once the hand-over is called off (fn then never runs). On the user-interface thread fn
    // runs directly. fn must not throw.
    void Run(const std::function<void()>& fn);

    // On the user-interface thread: no routine runs from now on, and a dispatcher thread waiting
    // in Run returns. False when a routine is running at this moment, which means the caller is
    // inside it: the waiting thread is then released only when that routine returns.
    bool CallOff();
    bool CalledOff() const;

private:
    class Call;

    UiThread& ui_;
    mutable std::mutex mutex_;
    std::shared_ptr<Call> current_;
    bool calledOff_ = false;
};

}  // namespace vx
