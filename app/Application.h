#pragma once
// The application object. An error that escapes an event handler is shown in the standard error
// box and the program carries on with the next event.

#include <QApplication>

#include <utility>

namespace vx {

class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows the exception being handled in the standard error box. Call only inside a catch block.
void ShowCurrentException();

// Runs a handler and shows whatever it throws, so the error stops at the handler's edge and never
// unwinds through the toolkit's own frames.
template <class Handler>
void RunGuarded(Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        ShowCurrentException();
    }
}

}  // namespace vx
