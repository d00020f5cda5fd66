// What the connection window shows: the graph, the windsock page, the digital panels, the data
// page and the options page, and how the pages react to being shown.

#include "connection/Anemometer.h"

#include "connection/MessageView.h"
#include "connection/TextPanel.h"
#include "platform/QtText.h"
#include "widgets/InteriorPaintFilter.h"
#include "widgets/Pgraph.h"
#include "widgets/Varnwindsock.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHideEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace vx {

namespace {

// Whole numbers drawn or shown are truncated toward zero. A reading far outside any scale (a
// garbled field of 1e300) is held within the range of an int first, where it still lies off
// the chart, instead of overflowing the conversion.
int Truncate(double value) {
    constexpr double kLimit = 1e9;
    if (std::isnan(value)) {
        return 0;
    }
    return static_cast<int>(std::clamp(value, -kLimit, kLimit));
}

// The value over the full scale, in chart units. Before the main window's settings arrive the
// scale is 0: such a point sits on the axis rather than dividing by zero.
int ScalePoint(double value, int graphScale, double fullScale) {
    if (fullScale == 0) {
        return 0;
    }
    return Truncate(value * graphScale / fullScale);
}

constexpr int kAverageColumnWidth = 202;

const TColor kSeries1 = kRed;
const TColor kSeries2 = kBlue;
const QColor kKey1Colour(255, 0, 0);
const QColor kKey2Colour(0, 0, 255);

}  // namespace

// ---- Graph ----

void Tchild::SetupGraph() {
    pgraph_->SetScale(1000);
    graphScale_ = pgraph_->Scale();
    pgraph_->SetGridSize(10);
    paLeftHandAxis_->TopLabel()->SetText(GeneralText(Truncate(yScale_)));
    paLeftHandAxis_->SetText(unitText_);
    if (displayMode_ == 1) {
        pgraph_->SetAxisCentre(false);
        paLeftHandAxis_->BottomLabel()->SetText(QStringLiteral("0"));
    } else {
        pgraph_->SetAxisCentre(true);
        paLeftHandAxis_->BottomLabel()->SetText(GeneralText(-Truncate(yScale_)));
    }
    paRightAxis_->TopLabel()->SetText(GeneralText(Truncate(directionRange_)));
    pgraph_->Reset();
}

void Tchild::PlotSample() {
    const WindSample& sample = wind_.Sample();
    const double direction =
        host_.DirectionAxis359() ? sample.direction : wind_.ExtendedDirectionValue();
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

void Tchild::SetDisplayMode(int displayMode) {
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

void Tchild::SetKeys(const QString& first, const QString& second) {
    paSeries1Key_->SetText(first);
    paSeries2Key_->SetText(second);
    paSeries1Key_->SetTextColour(kKey1Colour);
    paSeries2Key_->SetTextColour(kKey2Colour);
}

void Tchild::SetRoseType(int roseType) {
    if (roseType >= 0 && roseType <= 2) {
        windsock_->SetRose(roseType);
    }
}

// ---- Windsock page ----

QString Tchild::ShownSpeedText(double shown) const {
    return FixedText(shown, 2) + QLatin1Char(' ') + unitText_;
}

QString Tchild::SpeedText(double metresPerSecond) const {
    return ShownSpeedText(metresPerSecond * wind_.DisplayFactor());
}

void Tchild::ShowWindsockValues() {
    windsock_->SetDataSample(Truncate(wind_.Sample().direction));
    if (!wind_.AveragingOn()) {
        return;
    }
    ShowAverageValues();
}

void Tchild::ShowAverageValues() {
    const WindAverages& averages = wind_.Averages();
    laGust_->SetText(SpeedText(wind_.Gust()));
    laMaxGust_->SetText(SpeedText(averages.maxGust));
    laMinGust_->SetText(SpeedText(averages.minGust));
    const bool dirVector = host_.DirAverageVector();
    const QString dirCaption = dirVector ? QStringLiteral("Average Direction (Vector)")
                                         : QStringLiteral("Average Direction (Scalar)");
    if (gbAvgDir_->title() != dirCaption) {
        gbAvgDir_->setTitle(dirCaption);
    }
    laAverageDir_->SetText(
        FixedText(dirVector ? averages.vectorDirection : averages.scalarDirection, 1) +
        QStringLiteral(" deg"));
    const bool magVector = host_.MagAverageVector();
    const QString magCaption = magVector ? QStringLiteral("Average Windspeed (Vector)")
                                         : QStringLiteral("Average Windspeed (Scalar)");
    if (gbAvgMag_->title() != magCaption) {
        gbAvgMag_->setTitle(magCaption);
    }
    laAverageWindspeed_->SetText(
        SpeedText(magVector ? averages.vectorSpeed : averages.scalarSpeed));
}

void Tchild::ShowBuildingAverage(int position, int maximum) {
    averagePosition_ = position;
    averageMaximum_ = maximum;
    // The bar works out its percentage text and groove for every new value, and repaints at
    // once when they changed: at 100 messages a second that is work for the frame.
    averageBarFrame_.Request();
    if (gbBuildingAvg_->isHidden()) {
        gbBuildingAvg_->show();
    }
}

void Tchild::FlushBuildingAverage() {
    if (pbBuildingAvg_->maximum() != averageMaximum_ || pbBuildingAvg_->minimum() != 0) {
        pbBuildingAvg_->setRange(0, averageMaximum_);
    }
    pbBuildingAvg_->setValue(averagePosition_);
}

void Tchild::HideBuildingAverage() {
    if (!gbBuildingAvg_->isHidden()) {
        gbBuildingAvg_->hide();
    }
}

void Tchild::ShowAveragePanel(std::string_view text) {
    paWindsockAvg_->SetText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void Tchild::BlankAverageLabels(std::string_view text) {
    const QString blank = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    for (TextPanel* label : {laAverageWindspeed_, laAverageDir_, laGust_, laMaxGust_, laMinGust_}) {
        label->SetText(blank);
    }
}

void Tchild::LayoutWindsock() {
    // The windsock is square at the page's height, narrowed only when the page is too narrow
    // for it beside the averages column.
    const int height = tsWindsock_->height();
    const int room = tsWindsock_->width() - kAverageColumnWidth;
    const int side = std::max(0, std::min(height, room));
    paWindsock1_->setGeometry(0, 0, side, height);
    windsock_->setGeometry((paWindsock1_->width() - side) / 2, 0, side, side);
    paWindsock2_->setGeometry(side, 0, kAverageColumnWidth, height);
    const int bannerLeft = side + kAverageColumnWidth;
    paBanner_->setGeometry(bannerLeft, 0, std::max(0, tsWindsock_->width() - bannerLeft), height);
}

// ---- Digital panels ----

void Tchild::ShowDigitalPanels() {
    const WindSample& sample = wind_.Sample();
    const MinMax& extremes = wind_.Extremes();
    const double factor = wind_.DisplayFactor();
    if (displayMode_ == 1) {
        paDig1_->SetText(FixedText(sample.direction, 1) + QStringLiteral(" deg"));
        // No valid direction since the last reset: nothing to show rather than a made-up one.
        paDig1_->TopLabel()->SetText(extremes.directionsSet ? FixedText(extremes.maxDirection, 1)
                                                            : QString());
        paDig1_->BottomLabel()->SetText(extremes.directionsSet ? FixedText(extremes.minDirection, 1)
                                                               : QString());
        paDig2_->SetText(ShownSpeedText(sample.shownMagnitude));
        paDig2_->TopLabel()->SetText(FixedText(extremes.maxMagnitude * factor, 2));
        paDig2_->BottomLabel()->SetText(FixedText(extremes.minMagnitude * factor, 2));
    } else {
        paDig1_->SetText(QStringLiteral("U ") + ShownSpeedText(sample.shownU));
        paDig1_->TopLabel()->SetText(FixedText(extremes.maxU * factor, 2));
        paDig1_->BottomLabel()->SetText(FixedText(extremes.minU * factor, 2));
        paDig2_->SetText(QStringLiteral("V ") + ShownSpeedText(sample.shownV));
        paDig2_->TopLabel()->SetText(FixedText(extremes.maxV * factor, 2));
        paDig2_->BottomLabel()->SetText(FixedText(extremes.minV * factor, 2));
    }
    paDig3_->SetText(QStringLiteral("W ") + ShownSpeedText(sample.shownW));
    paDig3_->TopLabel()->SetText(FixedText(extremes.maxW * factor, 2));
    paDig3_->BottomLabel()->SetText(FixedText(extremes.minW * factor, 2));
}

void Tchild::ResetMaxMinClick() {
    wind_.ClearMaxMin();
}

// ---- Data page ----

void Tchild::AddDataLine(const QString& text) {
    if (dataLines_ > kMaxDataLines) {
        reData_->clear();
        pendingLines_.clear();
        dataLines_ = 0;
        FocusDataIfActive();
    }
    pendingLines_.append(text);
    ++dataLines_;
    // Lines reach the view in batches, once per frame: at 100 messages a second a view redrawn
    // and scrolled for every line would cost more than everything else a message does. A
    // hidden view waits until its page is shown.
    if (reData_->isVisible()) {
        dataLinesFrame_.Request();
    }
}

void Tchild::FlushDataLines() {
    if (pendingLines_.isEmpty()) {
        return;
    }
    reData_->AppendLines(pendingLines_.join(QLatin1Char('\n')),
                         static_cast<int>(pendingLines_.size()));
    pendingLines_.clear();
    ScrollDataToEnd();
}

void Tchild::ScrollDataToEnd() {
    QScrollBar* bar = reData_->verticalScrollBar();
    if (bar->value() != bar->maximum()) {
        reData_->moveCursor(QTextCursor::End);
        reData_->ensureCursorVisible();
    }
}

void Tchild::FocusDataIfActive() {
    if (PageShowing(tsData_)) {
        reData_->setFocus();
    }
}

// ---- Options page ----

void Tchild::buApplySettingsClick() {
    name_ = edSetName_->text().toStdString();
    setWindowTitle(edSetName_->text());
    const int position = cbSetOutputFormat_->currentIndex();
    // Nothing chosen (an empty list): the format in use stays.
    if (position >= 0 && position < cbSetOutputFormat_->count()) {
        const OutputFormatTable& table = host_.FormatTable();
        formatLetters_ = table.FormatLettersAt(position);
        formatName_ = table.FormatNameAt(position);
    }
    ApplyFormat();
}

// ---- Page and window events ----

bool Tchild::PageShowing(const QWidget* page) const {
    return PageControl1_->currentWidget() == page;
}

void Tchild::PageControl1Change(int) {
    SetupGraph();
    QWidget* page = PageControl1_->currentWidget();
    if (page == tsData_) {
        reData_->setFocus();
        FlushDataLines();
    } else if (page == tsSettings_) {
        edSetName_->setText(ToQString(name_));
    } else if (page == tsGraph_) {
        pgraph_->Reset();
    }
}

// The graph's panels take their final sizes as the page appears; the chart is set up again for
// them.
void Tchild::tsGraphShow() {
    if (QLayout* layout = tsGraph_->layout()) {
        layout->activate();
    }
    SetupGraph();
}

void Tchild::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Lines waited while the window was out of sight.
    if (PageShowing(tsData_)) {
        FlushDataLines();
    }
    LayoutWindsock();
    WatchSubWindowActivation();
    // Brought back from minimised is no new showing: the chart keeps its curves and a name
    // being typed on the Options page stays.
    const bool restored = event->spontaneous() || std::exchange(hiddenByMinimise_, false);
    if (restored) {
        return;
    }
    FocusDataIfActive();
    SetupGraph();
    edSetName_->setText(ToQString(name_));
}

void Tchild::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A minimised document window hides the widget inside it, and shows it again on restore.
    if (!event->spontaneous() && FrameWindow() != this && FrameWindow()->isMinimized()) {
        hiddenByMinimise_ = true;
    }
}

void Tchild::WatchSubWindowActivation() {
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (sub == nullptr || sub == watchedSubWindow_) {
        return;
    }
    watchedSubWindow_ = sub;
    InteriorPaintFilter::Install(*sub);
    connect(sub, &QMdiSubWindow::aboutToActivate, this, [this] { FocusDataIfActive(); });
}

bool Tchild::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        FocusDataIfActive();
    }
    return QWidget::event(event);
}

bool Tchild::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tsWindsock_ && event->type() == QEvent::Resize) {
        LayoutWindsock();
    } else if (watched == tsGraph_ && event->type() == QEvent::Show && !event->spontaneous() &&
               !hiddenByMinimise_) {
        // The page also gets a show as the window comes back from minimised (before the window
        // itself does): that is no showing of the page.
        tsGraphShow();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vx
