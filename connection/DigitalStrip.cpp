#include "connection/DigitalStrip.h"

#include "connection/PageText.h"
#include "connection/TextPanel.h"
#include "connection/WindSample.h"
#include "connection/WindStats.h"
#include "platform/QtText.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>

#include <array>

namespace vx {

namespace {

constexpr int kStripHeight = 62;

}  // namespace

DigitalStrip::DigitalStrip(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("paBottom"));
    setFixedHeight(kStripHeight);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    paDig1_ = AddDigitalPanel(1, 164, QStringLiteral("0.0 deg"));
    paDig2_ = AddDigitalPanel(2, 153, QStringLiteral("0.00 m/s"));
    paDig3_ = AddDigitalPanel(3, 155, QStringLiteral("0.00 m/s"));
    row->addWidget(paDig1_);
    row->addWidget(paDig2_);
    row->addWidget(paDig3_);
    row->addWidget(BuildButtonPanel());

    auto* empty = new QFrame(this);
    empty->setObjectName(QStringLiteral("paEmpty"));
    empty->setFrameStyle(QFrame::Panel | QFrame::Raised);
    row->addWidget(empty, 1);
}

QWidget* DigitalStrip::BuildButtonPanel() {
    auto* buttonPanel = new QFrame(this);
    buttonPanel->setObjectName(QStringLiteral("paResetMaxMin"));
    buttonPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* buttonRow = new QHBoxLayout(buttonPanel);
    buttonRow->setContentsMargins(6, 6, 6, 6);
    auto* reset = new QPushButton(QStringLiteral("Reset Max-Min"), buttonPanel);
    reset->setObjectName(QStringLiteral("ResetMaxMin"));
    buttonRow->addWidget(reset);
    connect(reset, &QPushButton::clicked, this, &DigitalStrip::ResetMaxMinClicked);
    return buttonPanel;
}

LabelledPanel* DigitalStrip::AddDigitalPanel(int number, int width, const QString& text) {
    static const std::array<QString, 3> kDigits = {QStringLiteral("1"), QStringLiteral("2"),
                                                   QStringLiteral("3")};
    const QString digit = kDigits[static_cast<std::size_t>(number - 1)];
    auto* panel = new LabelledPanel(QStringLiteral("paDig") + digit, text, this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setFixedWidth(width);
    panel->setFont(ValueFont(kMainValuePixels, true));
    panel->AddEdgeLabels(QStringLiteral("laDig") + digit + QStringLiteral("Max"),
                         QStringLiteral("0.0"),
                         QStringLiteral("laDig") + digit + QStringLiteral("Min"),
                         QStringLiteral("0.0"), EdgeLabelFont(), Qt::AlignRight);
    return panel;
}

void DigitalStrip::ShowValues(const WindSample& sample, const MinMax& extremes, double factor,
                              const QString& unitText, int displayMode) {
    if (displayMode == 1) {
        paDig1_->SetText(FixedText(sample.direction, 1) + QStringLiteral(" deg"));
        // No valid direction since the last reset: nothing to show rather than a made-up one.
        paDig1_->TopLabel()->SetText(extremes.directionsSet ? FixedText(extremes.maxDirection, 1)
                                                            : QString());
        paDig1_->BottomLabel()->SetText(extremes.directionsSet ? FixedText(extremes.minDirection, 1)
                                                               : QString());
        paDig2_->SetText(ShownSpeedText(sample.shownMagnitude, unitText));
        paDig2_->TopLabel()->SetText(FixedText(extremes.maxMagnitude * factor, 2));
        paDig2_->BottomLabel()->SetText(FixedText(extremes.minMagnitude * factor, 2));
    } else {
        paDig1_->SetText(QStringLiteral("U ") + ShownSpeedText(sample.shownU, unitText));
        paDig1_->TopLabel()->SetText(FixedText(extremes.maxU * factor, 2));
        paDig1_->BottomLabel()->SetText(FixedText(extremes.minU * factor, 2));
        paDig2_->SetText(QStringLiteral("V ") + ShownSpeedText(sample.shownV, unitText));
        paDig2_->TopLabel()->SetText(FixedText(extremes.maxV * factor, 2));
        paDig2_->BottomLabel()->SetText(FixedText(extremes.minV * factor, 2));
    }
    paDig3_->SetText(QStringLiteral("W ") + ShownSpeedText(sample.shownW, unitText));
    paDig3_->TopLabel()->SetText(FixedText(extremes.maxW * factor, 2));
    paDig3_->BottomLabel()->SetText(FixedText(extremes.minW * factor, 2));
}

void DigitalStrip::ShowWPanel(bool shown) {
    paDig3_->setVisible(shown);
}

void DigitalStrip::SetStale(bool stale) {
    for (LabelledPanel* panel : {paDig1_, paDig2_, paDig3_}) {
        for (TextPanel* text :
             {static_cast<TextPanel*>(panel), panel->TopLabel(), panel->BottomLabel()}) {
            if (text != nullptr) {
                text->SetTextColour(stale ? kStaleColour
                                          : text->palette().color(QPalette::WindowText));
            }
        }
    }
}

}  // namespace vx
