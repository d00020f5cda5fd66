#pragma once
// The strip below the pages of a connection window: three digital panels with the latest
// values and their extremes since the last reset, and the "Reset Max-Min" button.

#include <QWidget>

namespace vx {

class LabelledPanel;
struct MinMax;
struct WindSample;

class DigitalStrip : public QWidget {
    Q_OBJECT

public:
    explicit DigitalStrip(QWidget* parent = nullptr);

    // factor: from metres per second to the unit shown. displayMode 1 shows direction and
    // magnitude, any other u and v; the third panel always shows w.
    void ShowValues(const WindSample& sample, const MinMax& extremes, double factor,
                    const QString& unitText, int displayMode);
    // Only a three-axis format has a w to show.
    void ShowWPanel(bool shown);
    void SetStale(bool stale);

signals:
    void ResetMaxMinClicked();

private:
    LabelledPanel* AddDigitalPanel(int number, int width, const QString& text);
    QWidget* BuildButtonPanel();

    LabelledPanel* paDig1_ = nullptr;
    LabelledPanel* paDig2_ = nullptr;
    LabelledPanel* paDig3_ = nullptr;
};

}  // namespace vx
