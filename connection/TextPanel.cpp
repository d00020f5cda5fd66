#include "connection/TextPanel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

namespace vx {

namespace {

constexpr int kTextMargin = 2;
constexpr int kEdgeInset = 3;

}  // namespace

TextPanel::TextPanel(const QString& name, const QString& text, QWidget* parent)
    : QFrame(parent), text_(text), colour_(palette().color(QPalette::WindowText)) {
    setObjectName(name);
}

void TextPanel::SetText(const QString& text) {
    if (text == text_) {
        return;
    }
    text_ = text;
    RequestFrame();
}

// A one-line text keeps its rows whatever it says: the row of the text shown, across the panel,
// holds both the old text and the new one.
void TextPanel::RefreshView() {
    if (!isVisible()) {
        return;
    }
    if (shownTextRect_.isEmpty()) {
        update();
        return;
    }
    const QRect area = TextArea();
    update(QRect(area.left(), shownTextRect_.top(), area.width(), shownTextRect_.height()));
}

void TextPanel::SetAlignment(Qt::Alignment alignment) {
    if (alignment == alignment_) {
        return;
    }
    alignment_ = alignment;
    ForgetShownText();
    update();
}

void TextPanel::SetTextColour(const QColor& colour) {
    if (colour == colour_) {
        return;
    }
    colour_ = colour;
    update();
}

QSize TextPanel::sizeHint() const {
    const QFontMetrics metrics(font());
    const int frame = 2 * frameWidth();
    return {metrics.horizontalAdvance(text_) + 2 * kTextMargin + frame,
            metrics.height() + 2 * kTextMargin + frame};
}

QSize TextPanel::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    return {0, metrics.height() + 2 * frameWidth()};
}

QRect TextPanel::TextArea() const {
    return contentsRect().adjusted(kTextMargin, 0, -kTextMargin, 0);
}

void TextPanel::ForgetShownText() {
    shownText_.clear();
    shownTextRect_ = QRect();
}

void TextPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (text_.isEmpty()) {
        ForgetShownText();
        return;
    }
    if (text_ == shownText_ && !event->rect().intersects(shownTextRect_)) {
        return;
    }
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(colour_);
    QRect drawn;
    painter.drawText(TextArea(), static_cast<int>(alignment_), text_, &drawn);
    shownText_ = text_;
    shownTextRect_ = drawn;
}

void TextPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    ForgetShownText();
}

// A new font, style or frame moves the text.
void TextPanel::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    ForgetShownText();
}

QFont ValueFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

LabelledPanel::LabelledPanel(const QString& name, const QString& text, QWidget* parent)
    : TextPanel(name, text, parent) {}

void LabelledPanel::AddEdgeLabels(const QString& topName, const QString& topText,
                                  const QString& bottomName, const QString& bottomText,
                                  const QFont& font, Qt::Alignment alignment) {
    top_ = new TextPanel(topName, topText, this);
    bottom_ = new TextPanel(bottomName, bottomText, this);
    for (TextPanel* label : {top_, bottom_}) {
        label->setFont(font);
        label->SetAlignment(alignment | Qt::AlignVCenter);
    }
    PlaceEdgeLabels();
}

void LabelledPanel::resizeEvent(QResizeEvent* event) {
    TextPanel::resizeEvent(event);
    PlaceEdgeLabels();
}

void LabelledPanel::PlaceEdgeLabels() {
    if (top_ == nullptr) {
        return;
    }
    const int height = QFontMetrics(top_->font()).height() + 2;
    const QRect inner = contentsRect().adjusted(kEdgeInset, kEdgeInset, -kEdgeInset, -kEdgeInset);
    top_->setGeometry(inner.left(), inner.top(), inner.width(), height);
    bottom_->setGeometry(inner.left(), inner.bottom() + 1 - height, inner.width(), height);
}

}  // namespace vx
