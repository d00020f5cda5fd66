#pragma once
// The connection window's status bar: three sunken panels of 200 pixels (port and baud rate,
// detection progress or output rate, format name).

#include <QString>
#include <QWidget>

#include <array>

namespace vx {

class TextPanel;

class ConnectionStatusBar : public QWidget {
    Q_OBJECT

public:
    static constexpr int kPanelCount = 3;
    static constexpr int kPanelWidth = 200;

    explicit ConnectionStatusBar(QWidget* parent);

    // Panels are numbered from 0; other numbers are ignored (and read as empty).
    void SetPanelText(int panel, const QString& text);
    QString PanelText(int panel) const;

private:
    std::array<TextPanel*, kPanelCount> panels_{};
};

}  // namespace vx
