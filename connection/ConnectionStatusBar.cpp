#include "connection/ConnectionStatusBar.h"

#include "connection/TextPanel.h"

#include <QHBoxLayout>

namespace vx {

namespace {

constexpr int kLinkPanel = 1;

}  // namespace

ConnectionStatusBar::ConnectionStatusBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StatusBar1"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 1, 0, 0);
    row->setSpacing(2);
    const std::array<QString, kPanelCount> names = {QStringLiteral("StatusPanel1"),
                                                    QStringLiteral("StatusPanel2"),
                                                    QStringLiteral("StatusPanel3")};
    for (int i = 0; i < kPanelCount; ++i) {
        auto* panel = new TextPanel(names[static_cast<std::size_t>(i)], QString(), this);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->SetAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        panels_[static_cast<std::size_t>(i)] = panel;
        if (i == kLinkPanel) {
            panel->setMinimumWidth(kPanelWidth);
            row->addWidget(panel, 1);
        } else {
            panel->setFixedWidth(kPanelWidth);
            row->addWidget(panel);
        }
    }
}

void ConnectionStatusBar::SetPanelText(int panel, const QString& text) {
    if (panel >= 0 && panel < kPanelCount) {
        panels_[static_cast<std::size_t>(panel)]->SetText(text);
    }
}

void ConnectionStatusBar::SetPanelToolTip(int panel, const QString& text) {
    if (panel >= 0 && panel < kPanelCount &&
        panels_[static_cast<std::size_t>(panel)]->toolTip() != text) {
        panels_[static_cast<std::size_t>(panel)]->setToolTip(text);
    }
}

QString ConnectionStatusBar::PanelText(int panel) const {
    if (panel < 0 || panel >= kPanelCount) {
        return {};
    }
    return panels_[static_cast<std::size_t>(panel)]->Text();
}

}  // namespace vx
