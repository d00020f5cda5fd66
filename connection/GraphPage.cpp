#include "connection/GraphPage.h"

#include "connection/PageText.h"
#include "connection/TextPanel.h"
#include "connection/WindSample.h"
#include "platform/QtText.h"
#include "widgets/Pgraph.h"

#include <QHBoxLayout>
#include <QLayout>
#include <QShowEvent>
#include <QVBoxLayout>

namespace vx {

namespace {

constexpr int kLeftAxisWidth = 41;
constexpr int kRightAxisWidth = 33;
constexpr int kKeyWidth = 125;
constexpr int kChartScale = 1000;

const TColor kSeries1 = kRed;
const TColor kSeries2 = kBlue;
// The keys start in the colours of the first design and take the series' colours as soon as
// the display mode is set.
const QColor kFirstKey1Colour(255, 0, 0);
const QColor kFirstKey2Colour(0, 255, 0);
const QColor kKey1Colour(255, 0, 0);
const QColor kKey2Colour(0, 0, 255);

// The value over the full scale, in chart units. Before the main window's settings arrive the
// scale is 0: such a point sits on the axis rather than dividing by zero.
int ScalePoint(double value, int graphScale, double fullScale) {
    if (fullScale == 0) {
        return 0;
    }
    return TruncateShown(value * graphScale / fullScale);
}

}  // namespace

GraphPage::GraphPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tsGraph"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(2);
    BuildChartRow(column);
    BuildKeyRow(column);
}

void GraphPage::BuildChartRow(QVBoxLayout* column) {
    auto* chartRow = new QHBoxLayout();
    chartRow->setSpacing(0);
    const QFont axisFont = EdgeLabelFont();
    paLeftHandAxis_ = new LabelledPanel(QStringLiteral("paLeftHandAxis"), QString(), this);
    paLeftHandAxis_->setFixedWidth(kLeftAxisWidth);
    paLeftHandAxis_->AddEdgeLabels(QStringLiteral("laMagAxisMax"), QStringLiteral("10"),
                                   QStringLiteral("laMagAxisMin"), QStringLiteral("0"), axisFont,
                                   Qt::AlignRight);
    pgraph_ = new Tpgraph(this);
    pgraph_->setObjectName(QStringLiteral("pgraph"));
    pgraph_->SetForeColor(kWhite);
    pgraph_->SetBackColor(kButtonFace);
    pgraph_->SetAxisColor(kBlack);
    pgraph_->SetGridSize(10);
    pgraph_->SetGradient(100);
    pgraph_->SetPenWidth(1);
    pgraph_->SetAxisCentre(false);
    pgraph_->SetRightYAxislines(false);
    paRightAxis_ = new LabelledPanel(QStringLiteral("paRightAxis"), QStringLiteral("deg"), this);
    paRightAxis_->setFixedWidth(kRightAxisWidth);
    paRightAxis_->AddEdgeLabels(QStringLiteral("laDirAxisMax"), QStringLiteral("360"),
                                QStringLiteral("laDirAxisMin"), QStringLiteral("0"), axisFont,
                                Qt::AlignLeft);
    chartRow->addWidget(paLeftHandAxis_);
    chartRow->addWidget(pgraph_, 1);
    chartRow->addWidget(paRightAxis_);
    column->addLayout(chartRow, 1);
}

void GraphPage::BuildKeyRow(QVBoxLayout* column) {
    auto* keyRow = new QHBoxLayout();
    keyRow->addStretch(1);
    paSeries1Key_ =
        new TextPanel(QStringLiteral("paSeries1Key"), QStringLiteral("___  u vector"), this);
    paSeries2Key_ =
        new TextPanel(QStringLiteral("paSeries2Key"), QStringLiteral("___ v vector"), this);
    paSeries1Key_->SetTextColour(kFirstKey1Colour);
    paSeries2Key_->SetTextColour(kFirstKey2Colour);
    for (TextPanel* key : {paSeries1Key_, paSeries2Key_}) {
        key->setFixedWidth(kKeyWidth);
        key->SetAlignment(Qt::AlignRight | Qt::AlignVCenter);
        QFont bold = key->font();
        bold.setBold(true);
        key->setFont(bold);
        keyRow->addWidget(key);
    }
    column->addLayout(keyRow);
}

void GraphPage::SetDisplayMode(int displayMode) {
    if (displayMode == 0) {
        paRightAxis_->hide();
        SetKeys(QStringLiteral("___ u vector"), QStringLiteral("___ v vector"));
    } else if (displayMode == 1) {
        paRightAxis_->show();
        SetKeys(QStringLiteral("___ magnitude"), QStringLiteral("___ direction"));
    }
    if (displayMode == 0 || displayMode == 1) {
        displayMode_ = displayMode;
    }
    SetupGraph();
}

void GraphPage::SetKeys(const QString& first, const QString& second) {
    paSeries1Key_->SetText(first);
    paSeries2Key_->SetText(second);
    paSeries1Key_->SetTextColour(kKey1Colour);
    paSeries2Key_->SetTextColour(kKey2Colour);
}

void GraphPage::SetUnitText(const QString& unitText) {
    unitText_ = unitText;
    SetupGraph();
}

void GraphPage::SetYScale(double yScale) {
    yScale_ = yScale;
    SetupGraph();
}

void GraphPage::SetDirectionRange(double range) {
    directionRange_ = range;
    SetupGraph();
}

void GraphPage::SetupGraph() {
    pgraph_->SetScale(kChartScale);
    graphScale_ = pgraph_->Scale();
    pgraph_->SetGridSize(10);
    paLeftHandAxis_->TopLabel()->SetText(GeneralText(TruncateShown(yScale_)));
    paLeftHandAxis_->SetText(unitText_);
    if (displayMode_ == 1) {
        pgraph_->SetAxisCentre(false);
        paLeftHandAxis_->BottomLabel()->SetText(QStringLiteral("0"));
    } else {
        pgraph_->SetAxisCentre(true);
        paLeftHandAxis_->BottomLabel()->SetText(GeneralText(-TruncateShown(yScale_)));
    }
    paRightAxis_->TopLabel()->SetText(GeneralText(TruncateShown(directionRange_)));
    pgraph_->Reset();
}

void GraphPage::ResetChart() {
    pgraph_->Reset();
}

void GraphPage::SetupShownGraph() {
    if (QLayout* column = layout()) {
        column->activate();
    }
    SetupGraph();
}

void GraphPage::PlotSample(const WindSample& sample, double direction) {
    if (displayMode_ == 1) {
        lastPlotFirst_ = ScalePoint(sample.shownMagnitude, graphScale_, yScale_);
        lastPlotSecond_ = ScalePoint(direction, graphScale_, directionRange_);
    } else {
        lastPlotFirst_ = ScalePoint(sample.shownU, graphScale_, yScale_);
        lastPlotSecond_ = ScalePoint(sample.shownV, graphScale_, yScale_);
    }
    pgraph_->DataPoint(kSeries1, lastPlotFirst_);
    pgraph_->DataPoint(kSeries2, lastPlotSecond_);
    pgraph_->Update();
}

void GraphPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        emit PageShown();
    }
}

}  // namespace vx
