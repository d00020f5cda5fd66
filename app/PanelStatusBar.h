#pragma once
// A status bar of fixed-width text panels whose background colour can be set, and that reports a
// click anywhere on it (the user resets a raised alarm that way).

#include <QColor>
#include <QStatusBar>
#include <QString>

#include <vector>

class QLabel;

namespace vx {

class PanelStatusBar : public QStatusBar {
    Q_OBJECT
public:
    PanelStatusBar(const std::vector<int>& panelWidths, QWidget* parent = nullptr);

    void SetPanelText(int panel, const QString& text);
    QString PanelText(int panel) const;
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    int PanelWidth(int panel) const;

    void SetColour(const QColor& colour);
    QColor Colour() const;

signals:
    void Clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::vector<QLabel*> panels_;
    bool pressed_ = false;
};

}  // namespace vx
