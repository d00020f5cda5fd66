#include "platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace vx {
namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQtButtons(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MessageButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MessageButtons::Ok:
            break;
    }
    return QMessageBox::Ok;
}

MessageResult FromQtButton(int button) {
    switch (button) {
        case QMessageBox::Yes:
            return MessageResult::Yes;
        case QMessageBox::No:
            return MessageResult::No;
        case QMessageBox::Cancel:
            return MessageResult::Cancel;
        default:
            return MessageResult::Ok;
    }
}

}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    MessageBoxHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

MessageResult ShowMessageBox(QWidget* parent, const QString& text, const QString& caption,
                             MessageButtons buttons, MessageIcon icon) {
    if (Hook()) {
        return Hook()(MessageRequest{caption, text, buttons, icon});
    }
    QMessageBox box(ToQtIcon(icon), caption, text, ToQtButtons(buttons), parent);
    return FromQtButton(box.exec());
}

QString ErrorBoxText(const QString& message) {
    QString text = message;
    if (!text.isEmpty() && text.back().unicode() > u'.') {
        text += u'.';
    }
    return text;
}

void ShowErrorBox(const QString& message) {
    ShowMessageBox(QApplication::activeWindow(), ErrorBoxText(message), QStringLiteral("ventrix"),
                   MessageButtons::Ok, MessageIcon::Error);
}

}  // namespace vx
