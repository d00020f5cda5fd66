#pragma once
// The connection window's status bar: three sunken panels of 200 pixels (port and baud rate,
// detection progress or output rate, format name). The middle one also tells when the line is in
// trouble, in sentences that name a device: it takes whatever width the window has to spare.

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
    // The whole text, for when the panel is too narrow to show it.
    void SetPanelToolTip(int panel, const QString& text);

private:
    std::array<TextPanel*, kPanelCount> panels_{};
};

}  // namespace vx
