#pragma once
// The data page of a connection window: every message as a line of text, the last ones at the
// bottom. Lines reach the view in batches, once per frame; a view out of sight waits until
// its page is shown.

#include "widgets/FramePacer.h"

#include <QStringList>
#include <QWidget>

namespace vx {

class MessageView;

class DataPage : public QWidget {
    Q_OBJECT

public:
    // The view starts again, empty, once it holds more lines than this.
    static constexpr int kMaxDataLines = 500;

    explicit DataPage(QWidget* parent = nullptr);

    // True when the view was emptied to make room for the line.
    bool AddLine(const QString& text);
    // Brings the view up to date now.
    void FlushLines();
    // Lines in the view and waiting for it.
    int LineCount() const { return lines_; }
    void FocusView();

private:
    void ScrollToEnd();

    MessageView* reData_ = nullptr;
    int lines_ = 0;
    QStringList pendingLines_;
    PacedTask linesFrame_{[this] { FlushLines(); }};
};

}  // namespace vx
