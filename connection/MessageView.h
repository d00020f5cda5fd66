#pragma once
// The data page's text view: the received messages, one per line, the newest at the bottom.
//
// Lines arrive in batches, once per frame. Qt's plain-text layout asks for a repaint of the whole
// view after any change of its document, so a view that takes a few lines 25 times a second would
// lay out and draw every visible line 25 times a second. This view appends with the layout's
// signals held back: scrolling to the new end moves what is already drawn, and only the rows at
// the bottom, where the new lines land, are drawn again.

#include <QPlainTextEdit>

namespace vx {

class MessageView : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit MessageView(QWidget* parent = nullptr);

    // Appends `count` lines, given joined by '\n', as one batch.
    void AppendLines(const QString& lines, int count);
};

}  // namespace vx
