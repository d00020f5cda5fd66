#pragma once
// The windsock page of a connection window: the windsock, the column of averages beside it
// with the bar of an average being built, and the banner picture on the right.

#include "widgets/FramePacer.h"

#include <QWidget>

class QGroupBox;
class QProgressBar;

namespace vx {

class TextPanel;
class TVarnWindsock;
class WindConnection;

class WindsockPage : public QWidget {
    Q_OBJECT

public:
    // The width of the averages column: the windsock takes what is left of the page's width.
    static constexpr int kAverageColumnWidth = 202;

    explicit WindsockPage(QWidget* parent = nullptr);

    void SetRose(int roseType);
    void ShowDirection(double direction);
    // The gust, its extremes and the averages in the way the user chose (vector or scalar).
    void ShowAverages(const WindConnection& wind, const QString& unitText, bool dirVector,
                      bool magVector);
    void ShowAveragePanel(const QString& text);
    void BlankAverageLabels(const QString& text);
    void ShowBuildingAverage(int position, int maximum);
    void HideBuildingAverage();
    void SetStale(bool stale);
    // Places the windsock, the averages column and the banner for the page's size.
    void LayoutWindsock();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* BuildValues();
    QGroupBox* AddValueBox(QWidget* owner, const QString& boxName, const QString& caption,
                           const QString& labelName, const QString& text, TextPanel*& label);
    void FlushBuildingAverage();
    QString SpeedText(double metresPerSecond, double factor, const QString& unitText) const;

    QWidget* paWindsock1_ = nullptr;
    QWidget* paWindsock2_ = nullptr;
    QWidget* paBanner_ = nullptr;
    TVarnWindsock* windsock_ = nullptr;
    TextPanel* paWindsockAvg_ = nullptr;
    QGroupBox* gbAvgMag_ = nullptr;
    TextPanel* laAverageWindspeed_ = nullptr;
    QGroupBox* gbAvgDir_ = nullptr;
    TextPanel* laAverageDir_ = nullptr;
    TextPanel* laGust_ = nullptr;
    TextPanel* laMaxGust_ = nullptr;
    TextPanel* laMinGust_ = nullptr;
    QGroupBox* gbBuildingAvg_ = nullptr;
    QProgressBar* pbBuildingAvg_ = nullptr;

    // The averages' progress, brought to its bar once per frame.
    int averagePosition_ = 0;
    int averageMaximum_ = 100;
    PacedTask averageBarFrame_{[this] { FlushBuildingAverage(); }};
};

}  // namespace vx
