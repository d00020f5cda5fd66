#include "app/PanelStatusBar.h"

#include <QLabel>
#include <QMouseEvent>

namespace vx {

PanelStatusBar::PanelStatusBar(const std::vector<int>& panelWidths, QWidget* parent)
    : QStatusBar(parent) {
    setSizeGripEnabled(false);
    setAutoFillBackground(true);
    for (const int width : panelWidths) {
        auto* panel = new QLabel(this);
        panel->setFixedWidth(width);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setTextFormat(Qt::PlainText);
        // Clicks on a panel belong to the whole bar.
        panel->setAttribute(Qt::WA_TransparentForMouseEvents);
        addWidget(panel);
        panels_.push_back(panel);
    }
}

void PanelStatusBar::SetPanelText(int panel, const QString& text) {
    if (panel >= 0 && panel < PanelCount()) {
        panels_[static_cast<std::size_t>(panel)]->setText(text);
    }
}

QString PanelStatusBar::PanelText(int panel) const {
    if (panel < 0 || panel >= PanelCount()) {
        return {};
    }
    return panels_[static_cast<std::size_t>(panel)]->text();
}

int PanelStatusBar::PanelWidth(int panel) const {
    if (panel < 0 || panel >= PanelCount()) {
        return 0;
    }
    return panels_[static_cast<std::size_t>(panel)]->width();
}

void PanelStatusBar::SetColour(const QColor& colour) {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colour);
    setPalette(colours);
}

QColor PanelStatusBar::Colour() const {
    return palette().color(QPalette::Window);
}

void PanelStatusBar::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void PanelStatusBar::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        pressed_ && event->button() == Qt::LeftButton && rect().contains(event->pos());
    pressed_ = false;
    event->accept();
    if (click) {
        emit Clicked();
    }
}

}  // namespace vx
