#pragma once
// Every message box of the program goes through ShowMessageBox, so tests can read and answer
// them by installing a hook instead of a modal QMessageBox.

#include <QString>

#include <functional>

class QWidget;

namespace vx {

enum class MessageButtons { Ok, YesNo, OkCancel };
enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageResult { Ok, Cancel, Yes, No };

struct MessageRequest {
    QString caption;
    QString text;
    MessageButtons buttons = MessageButtons::Ok;
    MessageIcon icon = MessageIcon::None;
};

using MessageBoxHook = std::function<MessageResult(const MessageRequest&)>;

MessageResult ShowMessageBox(QWidget* parent, const QString& text, const QString& caption,
                             MessageButtons buttons = MessageButtons::Ok,
                             MessageIcon icon = MessageIcon::None);

// The standard error box for errors no handler caught: error icon, OK, the executable's name
// ("ventrix") as caption, and a full stop appended when the text ends in a letter, digit or
// most signs (any character with a code above ".").
void ShowErrorBox(const QString& message);
QString ErrorBoxText(const QString& message);

// Replaces the real dialogs; an empty hook restores them. Returns the previous hook.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

}  // namespace vx
