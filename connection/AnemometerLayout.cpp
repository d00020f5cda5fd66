// The connection window's controls: four pages above a strip of three digital panels and the
// status bar.

#include "connection/Anemometer.h"
#include "connection/ConnectionStatusBar.h"
#include "connection/MessageView.h"
#include "connection/TextPanel.h"
#include "logging/LogFlushTimer.h"
#include "widgets/Pgraph.h"
#include "widgets/Pictures.h"
#include "widgets/Varnwindsock.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <array>

namespace vx {

namespace {

constexpr int kBottomStripHeight = 62;
constexpr int kAverageColumnWidth = 202;
constexpr int kLeftAxisWidth = 41;
constexpr int kRightAxisWidth = 33;
constexpr int kKeyWidth = 125;
constexpr int kMainValuePixels = 16;
constexpr int kEdgeLabelPixels = 13;
constexpr int kInitialWidth = 693;
constexpr int kInitialHeight = 470;

const QColor kKeyRed(255, 0, 0);
const QColor kKeyLime(0, 255, 0);

// The picture beside the windsock: drawn at the panel's height, keeping its proportions, from
// the panel's left edge; what does not fit on the right is cut off.
class BannerPanel : public QWidget {
public:
    explicit BannerPanel(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("paBanner"));
        try {
            picture_ = LoadBannerPicture();
        } catch (const PictureError&) {
            // A damaged picture only leaves the panel empty: nothing depends on it.
        }
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (picture_.isNull() || height() <= 0) {
            return;
        }
        if (scaled_.height() != height()) {
            scaled_ = picture_.scaledToHeight(height(), Qt::SmoothTransformation);
        }
        QPainter painter(this);
        painter.drawImage(0, 0, scaled_);
    }

private:
    QImage picture_;
    QImage scaled_;
};

QFont EdgeLabelFont() {
    QFont font = ValueFont(kEdgeLabelPixels, false);
    return font;
}

}  // namespace

void Tchild::BuildWindow() {
    resize(kInitialWidth, kInitialHeight);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    PageControl1_ = new QTabWidget(this);
    PageControl1_->setObjectName(QStringLiteral("PageControl1"));
    PageControl1_->setDocumentMode(true);
    PageControl1_->addTab(BuildWindsockPage(), QStringLiteral("Windsock"));
    PageControl1_->addTab(BuildDataPage(), QStringLiteral("Data"));
    PageControl1_->addTab(BuildGraphPage(), QStringLiteral("Graph"));
    PageControl1_->addTab(BuildOptionsPage(), QStringLiteral("Options"));
    column->addWidget(PageControl1_, 1);
    column->addWidget(BuildDigitalStrip());

    StatusBar1_ = new ConnectionStatusBar(this);
    column->addWidget(StatusBar1_);

    connect(PageControl1_, &QTabWidget::currentChanged, this,
            [this](int index) { PageControl1Change(index); });
    tsGraph_->installEventFilter(this);
    tsWindsock_->installEventFilter(this);

    // Messages may come 100 times a second in every window: panels, windsock and chart reach the
    // screen at the program's frame rate, each window's changes in the same frame.
    FramePacer::Shared().Pace(this);
    dataLinesFrame_.SetFramePacer(&FramePacer::Shared());
    averageBarFrame_.SetFramePacer(&FramePacer::Shared());
}

QWidget* Tchild::BuildWindsockPage() {
    // Placed by LayoutWindsock rather than by a layout: the windsock stays square whatever
    // shape the page takes.
    tsWindsock_ = new QWidget();
    tsWindsock_->setObjectName(QStringLiteral("tsWindsock"));
    paWindsock1_ = new QWidget(tsWindsock_);
    paWindsock1_->setObjectName(QStringLiteral("paWindsock1"));
    windsock_ = new TVarnWindsock(paWindsock1_);
    windsock_->setObjectName(QStringLiteral("windsock"));
    paWindsock2_ = BuildWindsockValues(tsWindsock_);
    paBanner_ = new BannerPanel(tsWindsock_);
    tsWindsock_->setMinimumSize(kAverageColumnWidth + 120,
                                paWindsock2_->minimumSizeHint().height());
    return tsWindsock_;
}

QWidget* Tchild::BuildWindsockValues(QWidget* page) {
    auto* panel = new QWidget(page);
    panel->setObjectName(QStringLiteral("paWindsock2"));
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(3, 3, 3, 3);
    column->setSpacing(2);

    paWindsockAvg_ =
        new TextPanel(QStringLiteral("paWindsockAvg"), QStringLiteral("Average: 2 min"), panel);
    paWindsockAvg_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    QFont bold = paWindsockAvg_->font();
    bold.setBold(true);
    paWindsockAvg_->setFont(bold);
    column->addWidget(paWindsockAvg_);

    const QString tenMetres = QStringLiteral("10.00 m/s");
    gbAvgMag_ = AddValueBox(panel, QStringLiteral("gbAvgMag"), QStringLiteral("Average Windspeed"),
                            QStringLiteral("laAverageWindspeed"), tenMetres, laAverageWindspeed_);
    gbAvgDir_ = AddValueBox(panel, QStringLiteral("gbAvgDir"), QStringLiteral("Average Direction"),
                            QStringLiteral("laAverageDir"), QStringLiteral("0 deg"), laAverageDir_);
    AddValueBox(panel, QStringLiteral("gbGust"), QStringLiteral("Gust (3s average)"),
                QStringLiteral("laGust"), tenMetres, laGust_);
    AddValueBox(panel, QStringLiteral("gbMaxGust"), QStringLiteral("Max Gust"),
                QStringLiteral("laMaxGust"), tenMetres, laMaxGust_);
    AddValueBox(panel, QStringLiteral("gbMinGust"), QStringLiteral("Min Gust"),
                QStringLiteral("laMinGust"), tenMetres, laMinGust_);
    for (QGroupBox* box : panel->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) {
        column->addWidget(box);
    }
    column->addStretch(1);

    gbBuildingAvg_ = new QGroupBox(QStringLiteral("Building Average"), panel);
    gbBuildingAvg_->setObjectName(QStringLiteral("gbBuildingAvg"));
    auto* barRow = new QVBoxLayout(gbBuildingAvg_);
    barRow->setContentsMargins(4, 2, 4, 4);
    pbBuildingAvg_ = new QProgressBar(gbBuildingAvg_);
    pbBuildingAvg_->setObjectName(QStringLiteral("pbBuildingAvg"));
    pbBuildingAvg_->setRange(0, 100);
    pbBuildingAvg_->setValue(0);
    barRow->addWidget(pbBuildingAvg_);
    // Keeps its place while hidden, so the boxes above do not move when it comes and goes.
    QSizePolicy keepSpace = gbBuildingAvg_->sizePolicy();
    keepSpace.setRetainSizeWhenHidden(true);
    gbBuildingAvg_->setSizePolicy(keepSpace);
    gbBuildingAvg_->hide();
    column->addWidget(gbBuildingAvg_);
    return panel;
}

QGroupBox* Tchild::AddValueBox(QWidget* owner, const QString& boxName, const QString& caption,
                               const QString& labelName, const QString& text, TextPanel*& label) {
    auto* box = new QGroupBox(caption, owner);
    box->setObjectName(boxName);
    auto* inside = new QVBoxLayout(box);
    inside->setContentsMargins(4, 0, 4, 2);
    label = new TextPanel(labelName, text, box);
    label->setFont(ValueFont(kMainValuePixels, false));
    label->SetAlignment(Qt::AlignCenter);
    inside->addWidget(label);
    return box;
}

QWidget* Tchild::BuildDataPage() {
    tsData_ = new QWidget();
    tsData_->setObjectName(QStringLiteral("tsData"));
    auto* column = new QVBoxLayout(tsData_);
    column->setContentsMargins(0, 0, 0, 0);
    reData_ = new MessageView(tsData_);
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
    return tsData_;
}

QWidget* Tchild::BuildGraphPage() {
    tsGraph_ = new QWidget();
    tsGraph_->setObjectName(QStringLiteral("tsGraph"));
    auto* column = new QVBoxLayout(tsGraph_);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(2);

    auto* chartRow = new QHBoxLayout();
    chartRow->setSpacing(0);
    const QFont axisFont = EdgeLabelFont();
    paLeftHandAxis_ = new LabelledPanel(QStringLiteral("paLeftHandAxis"), QString(), tsGraph_);
    paLeftHandAxis_->setFixedWidth(kLeftAxisWidth);
    paLeftHandAxis_->AddEdgeLabels(QStringLiteral("laMagAxisMax"), QStringLiteral("10"),
                                   QStringLiteral("laMagAxisMin"), QStringLiteral("0"), axisFont,
                                   Qt::AlignRight);
    pgraph_ = new Tpgraph(tsGraph_);
    pgraph_->setObjectName(QStringLiteral("pgraph"));
    pgraph_->SetForeColor(kWhite);
    pgraph_->SetBackColor(kButtonFace);
    pgraph_->SetAxisColor(kBlack);
    pgraph_->SetGridSize(10);
    pgraph_->SetGradient(100);
    pgraph_->SetPenWidth(1);
    pgraph_->SetAxisCentre(false);
    pgraph_->SetRightYAxislines(false);
    paRightAxis_ =
        new LabelledPanel(QStringLiteral("paRightAxis"), QStringLiteral("deg"), tsGraph_);
    paRightAxis_->setFixedWidth(kRightAxisWidth);
    paRightAxis_->AddEdgeLabels(QStringLiteral("laDirAxisMax"), QStringLiteral("360"),
                                QStringLiteral("laDirAxisMin"), QStringLiteral("0"), axisFont,
                                Qt::AlignLeft);
    chartRow->addWidget(paLeftHandAxis_);
    chartRow->addWidget(pgraph_, 1);
    chartRow->addWidget(paRightAxis_);
    column->addLayout(chartRow, 1);

    auto* keyRow = new QHBoxLayout();
    keyRow->addStretch(1);
    paSeries1Key_ =
        new TextPanel(QStringLiteral("paSeries1Key"), QStringLiteral("___  u vector"), tsGraph_);
    paSeries2Key_ =
        new TextPanel(QStringLiteral("paSeries2Key"), QStringLiteral("___ v vector"), tsGraph_);
    paSeries1Key_->SetTextColour(kKeyRed);
    paSeries2Key_->SetTextColour(kKeyLime);
    for (TextPanel* key : {paSeries1Key_, paSeries2Key_}) {
        key->setFixedWidth(kKeyWidth);
        key->SetAlignment(Qt::AlignRight | Qt::AlignVCenter);
        QFont bold = key->font();
        bold.setBold(true);
        key->setFont(bold);
        keyRow->addWidget(key);
    }
    column->addLayout(keyRow);
    return tsGraph_;
}

QWidget* Tchild::BuildOptionsPage() {
    tsSettings_ = new QWidget();
    tsSettings_->setObjectName(QStringLiteral("tsSettings"));
    auto* page = new QVBoxLayout(tsSettings_);
    page->setContentsMargins(8, 8, 8, 8);

    auto* settings = new QGroupBox(QStringLiteral("Settings"), tsSettings_);
    settings->setObjectName(QStringLiteral("gbSettings"));
    auto* grid = new QGridLayout(settings);
    grid->setVerticalSpacing(4);

    edSetName_ = new QLineEdit(settings);
    edSetName_->setObjectName(QStringLiteral("edSetName"));
    cbSetOutputFormat_ = new QComboBox(settings);
    cbSetOutputFormat_->setObjectName(QStringLiteral("cbSetOutputFormat"));
    cbSetOutputFormat_->setMinimumWidth(220);
    grid->addWidget(new QLabel(QStringLiteral("Name"), settings), 0, 0);
    grid->addWidget(edSetName_, 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("Anemometer Output Format"), settings), 2, 0);
    grid->addWidget(cbSetOutputFormat_, 3, 0);

    const std::array<QString, 3> warning = {QStringLiteral("The user must select this option to "),
                                            QStringLiteral("match the anemometer's current"),
                                            QStringLiteral("serial output format")};
    QPalette red = settings->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    int row = 4;
    for (const QString& line : warning) {
        auto* label = new QLabel(line, settings);
        label->setPalette(red);
        grid->addWidget(label, row++, 0);
    }

    buApplySettings_ = new QPushButton(QStringLiteral("Apply"), settings);
    buApplySettings_->setObjectName(QStringLiteral("buApplySettings"));
    grid->addWidget(buApplySettings_, row, 0, Qt::AlignRight);
    connect(buApplySettings_, &QPushButton::clicked, this, [this] { buApplySettingsClick(); });

    auto* top = new QHBoxLayout();
    top->addWidget(settings);
    top->addStretch(1);
    page->addLayout(top);
    page->addStretch(1);
    return tsSettings_;
}

QWidget* Tchild::BuildDigitalStrip() {
    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("paBottom"));
    strip->setFixedHeight(kBottomStripHeight);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    paDig1_ = AddDigitalPanel(strip, 1, 164, QStringLiteral("0.0 deg"));
    paDig2_ = AddDigitalPanel(strip, 2, 153, QStringLiteral("0.00 m/s"));
    paDig3_ = AddDigitalPanel(strip, 3, 155, QStringLiteral("0.00 m/s"));
    row->addWidget(paDig1_);
    row->addWidget(paDig2_);
    row->addWidget(paDig3_);

    auto* buttonPanel = new QFrame(strip);
    buttonPanel->setObjectName(QStringLiteral("paResetMaxMin"));
    buttonPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* buttonRow = new QHBoxLayout(buttonPanel);
    buttonRow->setContentsMargins(6, 6, 6, 6);
    ResetMaxMin_ = new QPushButton(QStringLiteral("Reset Max-Min"), buttonPanel);
    ResetMaxMin_->setObjectName(QStringLiteral("ResetMaxMin"));
    buttonRow->addWidget(ResetMaxMin_);
    connect(ResetMaxMin_, &QPushButton::clicked, this, [this] { ResetMaxMinClick(); });
    row->addWidget(buttonPanel);

    auto* empty = new QFrame(strip);
    empty->setObjectName(QStringLiteral("paEmpty"));
    empty->setFrameStyle(QFrame::Panel | QFrame::Raised);
    row->addWidget(empty, 1);
    return strip;
}

LabelledPanel* Tchild::AddDigitalPanel(QWidget* owner, int number, int width, const QString& text) {
    static const std::array<QString, 3> kDigits = {QStringLiteral("1"), QStringLiteral("2"),
                                                   QStringLiteral("3")};
    const QString digit = kDigits[static_cast<std::size_t>(number - 1)];
    auto* panel = new LabelledPanel(QStringLiteral("paDig") + digit, text, owner);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setFixedWidth(width);
    panel->setFont(ValueFont(kMainValuePixels, true));
    panel->AddEdgeLabels(QStringLiteral("laDig") + digit + QStringLiteral("Max"),
                         QStringLiteral("0.0"),
                         QStringLiteral("laDig") + digit + QStringLiteral("Min"),
                         QStringLiteral("0.0"), EdgeLabelFont(), Qt::AlignRight);
    return panel;
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

}  // namespace vx
