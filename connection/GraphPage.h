#pragma once
// The graph page of a connection window: the scrolling chart between its two axis panels, and
// the keys of its two series. In display mode 0 it draws u and v on one scale; in mode 1 the
// magnitude on the left axis and the direction on the right one.

#include <QString>
#include <QWidget>

class QVBoxLayout;

namespace vx {

class LabelledPanel;
class TextPanel;
class Tpgraph;
struct WindSample;

class GraphPage : public QWidget {
    Q_OBJECT

public:
    explicit GraphPage(QWidget* parent = nullptr);

    // Each setting sets the chart up again: its axes and scale change with it.
    void SetDisplayMode(int displayMode);
    void SetUnitText(const QString& unitText);
    void SetYScale(double yScale);
    void SetDirectionRange(double range);
    void SetupGraph();
    // Starts the chart again without its curves.
    void ResetChart();
    // The panels take their final sizes as the page appears; the chart is set up for them.
    void SetupShownGraph();
    // direction: the direction as the chart's axis counts it (0 to 359, or extended).
    void PlotSample(const WindSample& sample, double direction);
    // The two values the last sample gave the chart (series 1, series 2).
    int LastPlotFirst() const { return lastPlotFirst_; }
    int LastPlotSecond() const { return lastPlotSecond_; }

signals:
    // The page was shown (not brought back by the window system).
    void PageShown();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildChartRow(QVBoxLayout* column);
    void BuildKeyRow(QVBoxLayout* column);
    void SetKeys(const QString& first, const QString& second);

    int displayMode_ = 0;
    double yScale_ = 0;
    double directionRange_ = 0;
    int graphScale_ = 0;
    QString unitText_;
    int lastPlotFirst_ = 0;
    int lastPlotSecond_ = 0;

    LabelledPanel* paLeftHandAxis_ = nullptr;
    LabelledPanel* paRightAxis_ = nullptr;
    Tpgraph* pgraph_ = nullptr;
    TextPanel* paSeries1Key_ = nullptr;
    TextPanel* paSeries2Key_ = nullptr;
};

}  // namespace vx
