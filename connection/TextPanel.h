#pragma once
// A panel or label whose text is drawn by the panel itself. The connection window changes a
// dozen texts per message, up to 100 times a second: a text change here only marks the panel
// for the next (coalesced) repaint and never asks the surrounding layout to run again, and a
// text equal to the one shown changes nothing at all. With a frame pacer set, a changed text is
// drawn at the pacer's next frame, and only the row it is written in is drawn again.

#include "widgets/FramePacer.h"

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QString>

namespace vx {

class TextPanel : public QFrame, public PacedView {
    Q_OBJECT

public:
    TextPanel(const QString& name, const QString& text, QWidget* parent);

    const QString& Text() const { return text_; }
    void SetText(const QString& text);

    Qt::Alignment Alignment() const { return alignment_; }
    void SetAlignment(Qt::Alignment alignment);
    QColor TextColour() const { return colour_; }
    void SetTextColour(const QColor& colour);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void RefreshView() override;

private:
    QRect TextArea() const;
    void ForgetShownText();

    QString text_;
    // The text as last drawn and where it went: a paint that does not reach that rectangle
    // (a label above or below it being redrawn) leaves the text as it is.
    QString shownText_;
    QRect shownTextRect_;
    Qt::Alignment alignment_ = Qt::AlignCenter;
    QColor colour_;
};

// The monospace face of the value labels ("Courier New" where it exists, else the system's
// typewriter face), at a size in pixels.
QFont ValueFont(int pixelSize, bool bold);

// A panel with a caption in its middle and two small labels, one at its top and one at its
// bottom edge: the digital panels (maximum above, minimum below) and the graph's axis panels.
class LabelledPanel : public TextPanel {
    Q_OBJECT

public:
    LabelledPanel(const QString& name, const QString& text, QWidget* parent);

    // Adds the two labels with their names and first texts.
    void AddEdgeLabels(const QString& topName, const QString& topText, const QString& bottomName,
                       const QString& bottomText, const QFont& font, Qt::Alignment alignment);
    TextPanel* TopLabel() const { return top_; }
    TextPanel* BottomLabel() const { return bottom_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceEdgeLabels();

    TextPanel* top_ = nullptr;
    TextPanel* bottom_ = nullptr;
};

}  // namespace vx
