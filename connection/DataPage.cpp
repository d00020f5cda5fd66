#include "connection/DataPage.h"

#include "connection/MessageView.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

namespace vx {

DataPage::DataPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tsData"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    reData_ = new MessageView(this);
    reData_->setObjectName(QStringLiteral("reData"));
    reData_->setReadOnly(true);
    // Messages are short lines: wrapping would only add layout work for every line.
    reData_->setLineWrapMode(QPlainTextEdit::NoWrap);
    reData_->setUndoRedoEnabled(false);
    QPalette white = reData_->palette();
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Text, Qt::black);
    reData_->setPalette(white);
    column->addWidget(reData_);
    linesFrame_.SetFramePacer(&FramePacer::Shared());
}

bool DataPage::AddLine(const QString& text) {
    const bool emptied = lines_ > kMaxDataLines;
    if (emptied) {
        reData_->clear();
        pendingLines_.clear();
        lines_ = 0;
    }
    pendingLines_.append(text);
    ++lines_;
    // At 100 messages a second a view redrawn and scrolled for every line would cost more than
    // everything else a message does.
    if (reData_->isVisible()) {
        linesFrame_.Request();
    }
    return emptied;
}

void DataPage::FlushLines() {
    if (pendingLines_.isEmpty()) {
        return;
    }
    reData_->AppendLines(pendingLines_.join(QLatin1Char('\n')),
                         static_cast<int>(pendingLines_.size()));
    pendingLines_.clear();
    ScrollToEnd();
}

void DataPage::ScrollToEnd() {
    QScrollBar* bar = reData_->verticalScrollBar();
    if (bar->value() != bar->maximum()) {
        reData_->moveCursor(QTextCursor::End);
        reData_->ensureCursorVisible();
    }
}

void DataPage::FocusView() {
    reData_->setFocus();
}

}  // namespace vx
