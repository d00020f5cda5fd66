#include "connection/WindsockPage.h"

#include "connection/PageText.h"
#include "connection/TextPanel.h"
#include "connection/WindConnection.h"
#include "platform/QtText.h"
#include "widgets/Pictures.h"
#include "widgets/Varnwindsock.h"

#include <QGroupBox>
#include <QPainter>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>

namespace vx {

namespace {

const QColor kNeedleColour(255, 255, 255);
// Room the windsock keeps beside the averages column however narrow the page is made.
constexpr int kSmallestWindsock = 120;

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

}  // namespace

WindsockPage::WindsockPage(QWidget* parent) : QWidget(parent) {
    // Placed by LayoutWindsock rather than by a layout: the windsock stays square whatever
    // shape the page takes.
    setObjectName(QStringLiteral("tsWindsock"));
    paWindsock1_ = new QWidget(this);
    paWindsock1_->setObjectName(QStringLiteral("paWindsock1"));
    windsock_ = new TVarnWindsock(paWindsock1_);
    windsock_->setObjectName(QStringLiteral("windsock"));
    paWindsock2_ = BuildValues();
    paBanner_ = new BannerPanel(this);
    setMinimumSize(kAverageColumnWidth + kSmallestWindsock,
                   paWindsock2_->minimumSizeHint().height());
    averageBarFrame_.SetFramePacer(&FramePacer::Shared());
}

QWidget* WindsockPage::BuildValues() {
    auto* panel = new QWidget(this);
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

QGroupBox* WindsockPage::AddValueBox(QWidget* owner, const QString& boxName, const QString& caption,
                                     const QString& labelName, const QString& text,
                                     TextPanel*& label) {
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

void WindsockPage::SetRose(int roseType) {
    if (roseType >= 0 && roseType <= 2) {
        windsock_->SetRose(roseType);
    }
}

void WindsockPage::ShowDirection(double direction) {
    windsock_->SetDataSample(TruncateShown(direction));
}

QString WindsockPage::SpeedText(double metresPerSecond, double factor,
                                const QString& unitText) const {
    return ShownSpeedText(metresPerSecond * factor, unitText);
}

void WindsockPage::ShowAverages(const WindConnection& wind, const QString& unitText, bool dirVector,
                                bool magVector) {
    const WindAverages& averages = wind.Averages();
    const double factor = wind.DisplayFactor();
    laGust_->SetText(SpeedText(wind.Gust(), factor, unitText));
    laMaxGust_->SetText(SpeedText(averages.maxGust, factor, unitText));
    laMinGust_->SetText(SpeedText(averages.minGust, factor, unitText));
    const QString dirCaption = dirVector ? QStringLiteral("Average Direction (Vector)")
                                         : QStringLiteral("Average Direction (Scalar)");
    if (gbAvgDir_->title() != dirCaption) {
        gbAvgDir_->setTitle(dirCaption);
    }
    laAverageDir_->SetText(
        FixedText(dirVector ? averages.vectorDirection : averages.scalarDirection, 1) +
        QStringLiteral(" deg"));
    const QString magCaption = magVector ? QStringLiteral("Average Windspeed (Vector)")
                                         : QStringLiteral("Average Windspeed (Scalar)");
    if (gbAvgMag_->title() != magCaption) {
        gbAvgMag_->setTitle(magCaption);
    }
    laAverageWindspeed_->SetText(
        SpeedText(magVector ? averages.vectorSpeed : averages.scalarSpeed, factor, unitText));
}

void WindsockPage::ShowAveragePanel(const QString& text) {
    paWindsockAvg_->SetText(text);
}

void WindsockPage::BlankAverageLabels(const QString& text) {
    for (TextPanel* label : {laAverageWindspeed_, laAverageDir_, laGust_, laMaxGust_, laMinGust_}) {
        label->SetText(text);
    }
}

void WindsockPage::ShowBuildingAverage(int position, int maximum) {
    averagePosition_ = position;
    averageMaximum_ = maximum;
    // The bar works out its percentage text and groove for every new value, and repaints at
    // once when they changed: at 100 messages a second that is work for the frame.
    averageBarFrame_.Request();
    if (gbBuildingAvg_->isHidden()) {
        gbBuildingAvg_->show();
    }
}

void WindsockPage::FlushBuildingAverage() {
    if (pbBuildingAvg_->maximum() != averageMaximum_ || pbBuildingAvg_->minimum() != 0) {
        pbBuildingAvg_->setRange(0, averageMaximum_);
    }
    pbBuildingAvg_->setValue(averagePosition_);
}

void WindsockPage::HideBuildingAverage() {
    if (!gbBuildingAvg_->isHidden()) {
        gbBuildingAvg_->hide();
    }
}

void WindsockPage::SetStale(bool stale) {
    for (TextPanel* label : {laAverageWindspeed_, laAverageDir_, laGust_, laMaxGust_, laMinGust_}) {
        label->SetTextColour(stale ? kStaleColour : label->palette().color(QPalette::WindowText));
    }
    windsock_->SetNeedleColour(stale ? kStaleColour : kNeedleColour);
}

void WindsockPage::LayoutWindsock() {
    // The windsock is square at the page's height, narrowed only when the page is too narrow
    // for it beside the averages column.
    const int side = std::max(0, std::min(height(), width() - kAverageColumnWidth));
    paWindsock1_->setGeometry(0, 0, side, height());
    windsock_->setGeometry((paWindsock1_->width() - side) / 2, 0, side, side);
    paWindsock2_->setGeometry(side, 0, kAverageColumnWidth, height());
    const int bannerLeft = side + kAverageColumnWidth;
    paBanner_->setGeometry(bannerLeft, 0, std::max(0, width() - bannerLeft), height());
}

void WindsockPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutWindsock();
}

}  // namespace vx
