// What the connection window shows: its pages and the digital strip, what each message brings
// to them, and how the pages react to being shown.

#include "connection/Anemometer.h"

#include "connection/ConnectionStatusBar.h"
#include "connection/DataPage.h"
#include "connection/DigitalStrip.h"
#include "connection/GraphPage.h"
#include "connection/OptionsPage.h"
#include "connection/WindsockPage.h"
#include "logging/LogFlushTimer.h"
#include "platform/QtText.h"
#include "widgets/FramePacer.h"
#include "widgets/InteriorPaintFilter.h"

#include <QEvent>
#include <QHideEvent>
#include <QMdiSubWindow>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace vx {

namespace {

constexpr int kInitialWidth = 693;
constexpr int kInitialHeight = 470;

QString Latin1Text(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void Tchild::BuildWindow() {
    resize(kInitialWidth, kInitialHeight);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    tsWindsock_ = new WindsockPage();
    tsData_ = new DataPage();
    tsGraph_ = new GraphPage();
    tsSettings_ = new OptionsPage();
    PageControl1_ = new QTabWidget(this);
    PageControl1_->setObjectName(QStringLiteral("PageControl1"));
    PageControl1_->setDocumentMode(true);
    PageControl1_->addTab(tsWindsock_, QStringLiteral("Windsock"));
    PageControl1_->addTab(tsData_, QStringLiteral("Data"));
    PageControl1_->addTab(tsGraph_, QStringLiteral("Graph"));
    PageControl1_->addTab(tsSettings_, QStringLiteral("Options"));
    column->addWidget(PageControl1_, 1);
    paBottom_ = new DigitalStrip(this);
    column->addWidget(paBottom_);
    StatusBar1_ = new ConnectionStatusBar(this);
    column->addWidget(StatusBar1_);

    connect(PageControl1_, &QTabWidget::currentChanged, this,
            [this](int index) { PageControl1Change(index); });
    connect(tsGraph_, &GraphPage::PageShown, this, [this] { GraphPageShown(); });
    connect(tsSettings_, &OptionsPage::ApplyClicked, this, [this] { buApplySettingsClick(); });
    connect(paBottom_, &DigitalStrip::ResetMaxMinClicked, this, [this] { ResetMaxMinClick(); });

    // Messages may come 100 times a second in every window: panels, windsock and chart reach the
    // screen at the program's frame rate, each window's changes in the same frame.
    FramePacer::Shared().Pace(this);
}

void Tchild::SetupTimers() {
    tmrTimeout_ = new QTimer(this);
    tmrTimeout_->setObjectName(QStringLiteral("tmrTimeout"));
    tmrTimeout_->setSingleShot(true);
    connect(tmrTimeout_, &QTimer::timeout, this, [this] { tmrTimeoutTimer(); });

    tmrOutputRate_ = new QTimer(this);
    tmrOutputRate_->setObjectName(QStringLiteral("tmrOutputRate"));
    tmrOutputRate_->setInterval(kOutputRateIntervalMs);
    connect(tmrOutputRate_, &QTimer::timeout, this, [this] { tmrOutputRateTimer(); });

    logTimer_ = new LogFlushTimer(log_, this);
}

// ---- One message on the pages ----

void Tchild::ProcessMessage(std::string_view message) {
    const bool valid = wind_.ParseMessage(message);
    AddDataLine(Latin1Text(message));
    if (log_.Logging()) {
        log_.LogMessage(message);
    }
    if (PageShowing(tsGraph_)) {
        PlotSample();
    }
    if (PageShowing(tsWindsock_) || wind_.AveragingOn()) {
        ShowWindsockValues();
    }
    ShowDigitalPanels();
    if (!valid) {
        // A message that did not parse leaves the previous sample, and an out-of-range one holds
        // an instrument's error value: neither may count towards an alarm that switches
        // external equipment, nor reset a count that valid readings built up.
        return;
    }
    wind_.UpdateAverages();
    if (sampleListener_ != nullptr) {
        sampleListener_->SampleTaken(wind_);
    }
    const WindSample& sample = wind_.Sample();
    alarms_.CheckAlarms(name_, sample.magnitude, sample.direction, host_);
}

void Tchild::PlotSample() {
    const WindSample& sample = wind_.Sample();
    tsGraph_->PlotSample(
        sample, host_.DirectionAxis359() ? sample.direction : wind_.ExtendedDirectionValue());
}

void Tchild::ShowWindsockValues() {
    tsWindsock_->ShowDirection(wind_.Sample().direction);
    if (wind_.AveragingOn()) {
        tsWindsock_->ShowAverages(wind_, unitText_, host_.DirAverageVector(),
                                  host_.MagAverageVector());
    }
}

void Tchild::ShowDigitalPanels() {
    paBottom_->ShowValues(wind_.Sample(), wind_.Extremes(), wind_.DisplayFactor(), unitText_,
                          displayMode_);
}

void Tchild::SetupGraph() {
    tsGraph_->SetupGraph();
}

void Tchild::ResetMaxMinClick() {
    wind_.ClearMaxMin();
}

void Tchild::ShowBuildingAverage(int position, int maximum) {
    tsWindsock_->ShowBuildingAverage(position, maximum);
}

void Tchild::HideBuildingAverage() {
    tsWindsock_->HideBuildingAverage();
}

void Tchild::ShowAveragePanel(std::string_view text) {
    tsWindsock_->ShowAveragePanel(Latin1Text(text));
}

void Tchild::BlankAverageLabels(std::string_view text) {
    tsWindsock_->BlankAverageLabels(Latin1Text(text));
}

// ---- Data page ----

void Tchild::AddDataLine(const QString& text) {
    if (tsData_->AddLine(text)) {
        FocusDataIfActive();
    }
}

void Tchild::FlushDataLines() {
    tsData_->FlushLines();
}

void Tchild::FocusDataIfActive() {
    if (PageShowing(tsData_)) {
        tsData_->FocusView();
    }
}

// ---- Options page ----

void Tchild::buApplySettingsClick() {
    const QString name = tsSettings_->Name();
    name_ = name.toStdString();
    setWindowTitle(name);
    // Nothing chosen (an empty list): the format in use stays.
    const int position = tsSettings_->ChosenFormat();
    if (position >= 0) {
        const OutputFormatTable& table = host_.FormatTable();
        formatLetters_ = table.FormatLettersAt(position);
        formatName_ = table.FormatNameAt(position);
    }
    ApplyFormat();
}

// ---- Settings of the main window that only the views use ----

void Tchild::SetDisplayMode(int displayMode) {
    if (displayMode == 0 || displayMode == 1) {
        displayMode_ = displayMode;
    }
    tsGraph_->SetDisplayMode(displayMode);
}

void Tchild::SetRoseType(int roseType) {
    tsWindsock_->SetRose(roseType);
}

void Tchild::SetYScale(int yScale) {
    tsGraph_->SetYScale(yScale);
}

void Tchild::SetDirectionRange(int range) {
    tsGraph_->SetDirectionRange(range);
}

void Tchild::SetAveraging(int minutes) {
    // Averaging switched off leaves nothing being built: the box goes with it.
    if (minutes == 0) {
        tsWindsock_->HideBuildingAverage();
    }
    wind_.SetAveraging(minutes);
}

// ---- Page and window events ----

bool Tchild::PageShowing(const QWidget* page) const {
    return PageControl1_->currentWidget() == page;
}

void Tchild::PageControl1Change(int) {
    SetupGraph();
    QWidget* page = PageControl1_->currentWidget();
    if (page == tsData_) {
        tsData_->FocusView();
        tsData_->FlushLines();
    } else if (page == tsSettings_) {
        tsSettings_->SetName(ToQString(name_));
    } else if (page == tsGraph_) {
        tsGraph_->ResetChart();
    }
}

void Tchild::GraphPageShown() {
    // The page also gets a show as the window comes back from minimised (before the window
    // itself does): that is no showing of the page.
    if (!hiddenByMinimise_) {
        tsGraph_->SetupShownGraph();
    }
}

void Tchild::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Lines waited while the window was out of sight.
    if (PageShowing(tsData_)) {
        tsData_->FlushLines();
    }
    tsWindsock_->LayoutWindsock();
    WatchSubWindowActivation();
    // Brought back from minimised is no new showing: the chart keeps its curves and a name
    // being typed on the Options page stays.
    const bool restored = event->spontaneous() || std::exchange(hiddenByMinimise_, false);
    if (restored) {
        return;
    }
    FocusDataIfActive();
    SetupGraph();
    tsSettings_->SetName(ToQString(name_));
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

}  // namespace vx
