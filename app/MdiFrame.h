#pragma once
// The main window's multiple-document client area: paints a picture stretched over its whole
// area behind the document windows, and tiles them side by side.

#include <QImage>
#include <QMdiArea>

class QMdiSubWindow;

namespace vx {

class MdiFrame : public QMdiArea {
    Q_OBJECT
public:
    explicit MdiFrame(QWidget* parent = nullptr);

    // The background picture; a null image leaves the toolkit's plain background.
    void SetBackgroundPicture(const QImage& picture);
    const QImage& BackgroundPicture() const { return background_; }

    // Side by side: every window that is neither minimised nor hidden gets a full-height column of
    // equal width, in creation order. Minimised windows keep their place along the bottom.
    void TileSideBySide();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QImage background_;
    QImage stretched_;  // the picture at the area's size
};

// Moves a document window, and narrows or shortens it where it must, so that all of it lies in
// the frame's client area: its title bar and buttons stay within reach. Minimised and maximised
// windows are left as they are.
void KeepInside(QMdiArea& frame, QMdiSubWindow& window);

}  // namespace vx
