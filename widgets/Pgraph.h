#pragma once
// Tpgraph: a scrolling strip chart. Time runs left to right in bands StepSize pixels wide; each
// band holds up to 16 points, one colour per series. Lines join a series' point to its point in
// the previous band; bars stack a band's points. The chart fills from the left and, once the
// newest band reaches the right edge, scrolls one band per time step. It keeps every visible
// band so that it can redraw itself after a resize or a change of settings.
//
// Everything is drawn on an off-screen image that the paint copies. Update only records the time
// step; the bands recorded since the last drawing are drawn together when the picture is next
// needed (a paint, a change of settings, Bitmap): one scroll of the picture by all of them, then
// each new band in its place, exactly as if each had been drawn at its own Update. A chart that
// is not showing therefore draws nothing until it shows again. With a frame pacer set, the
// chart asks for its paint through the pacer.

#include "widgets/Color.h"
#include "widgets/FramePacer.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <functional>
#include <vector>

namespace vx {

enum TGraphKind { pgBar = 0, pgLine = 1 };

class Tpgraph : public QWidget, public PacedView {
    Q_OBJECT

public:
    static constexpr int kMaxPoints = 16;
    using TNotifyEvent = std::function<void(Tpgraph* sender)>;

    explicit Tpgraph(QWidget* owner = nullptr);
    ~Tpgraph() override;

    // Adds a point to the time step in progress. A 17th point in one step throws
    // std::out_of_range (empty message) and is not stored.
    void DataPoint(TColor colour, int value);
    // Ends the time step; it is drawn with the next paint (or Bitmap).
    void Update();
    // Clears the history and draws an empty chart.
    void Reset();

    int GetBandCount() const;
    static int RoundUp(int value, int step);

    TGraphKind Kind() const { return kind_; }
    TColor ForeColor() const { return foreColor_; }
    TColor BackColor() const { return backColor_; }
    TColor AxisColor() const { return axisColor_; }
    TColor RightYAxisColor() const { return rightYAxisColor_; }
    int GridSize() const { return gridSize_; }
    int StepSize() const { return stepSize_; }
    int Scale() const { return scale_; }
    int Gradient() const { return gradient_; }
    bool Gridlines() const { return gridlines_; }
    bool Axislines() const { return axislines_; }
    bool AxisCentre() const { return axisCentre_; }
    bool RightYAxislines() const { return rightYAxislines_; }
    int PenWidth() const { return penWidth_; }
    const TNotifyEvent& OnScaleChange() const { return onScaleChange_; }

    void SetGraphKind(TGraphKind kind);
    void SetForeColor(TColor colour);
    void SetBackColor(TColor colour);
    void SetAxisColor(TColor colour);
    void SetRightYAxisColor(TColor colour);
    void SetGridSize(int gridSize);
    void SetStepSize(int stepSize);
    void SetScale(int scale);
    void SetGradient(int gradient);
    void SetGridlines(bool on);
    void SetAxislines(bool on);
    void SetAxisCentre(bool on);
    void SetRightYAxislines(bool on);
    void SetPenWidth(int width);
    void SetOnScaleChange(TNotifyEvent handler) { onScaleChange_ = std::move(handler); }

    // The off-screen picture with every completed time step drawn (what the next paint copies).
    const QImage& Bitmap();
    bool Scrolling() const { return scrolling_; }

protected:
    virtual void Paint(QPainter& canvas);
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void RefreshView() override;

private:
    struct Slot {
        int count = 0;
        std::array<TColor, kMaxPoints> colours{};
        std::array<int, kMaxPoints> values{};
        // False for a band whose predecessor was dropped when the history was reallocated: its
        // segments have no known start, so a replay leaves the band out.
        bool startKnown = true;
    };
    // Pixel rectangle, left <= x < right, top <= y < bottom. 64-bit: a band far wider than the
    // control (a huge StepSize) must not overflow.
    struct Area {
        long long left = 0;
        long long top = 0;
        long long right = 0;
        long long bottom = 0;
    };

    void Initialize(double offset);
    void InitialiseGridlines(double offset);
    void DrawHorizontalGridlines(long long left, long long right);
    void DrawGridlines(long long shift, bool draw);
    void ScrollGraph(long long bands);
    void DisplayPoints(int slot);
    void PaintLine(TColor colour, long long previous, long long value);
    void PaintBar(TColor colour, long long base, long long height);
    void DrawAxes();
    void ShiftY();
    void Replay();
    void ReallocHistory();
    int FirstY() const;
    int NextY(int i) const;
    int LastY(int i) const;

    void AllocateEmptyHistory();
    void PlaceNewBand();
    void DrawPendingBands();
    void DrawScrolledBands(long long count);
    void DisplayBandAt(int slot, long long right);
    const Slot& Predecessor(int slot) const;
    QRect PendingArea() const;
    QRect BandColumns(long long right) const;
    void ReplayBands();
    double ReplayGridOffset() const;
    void EnsureLayout();
    void ResolveColours();
    long long RowOf(long long value) const;
    long long PlotHeight() const { return plot_.bottom - plot_.top; }

    TGraphKind kind_ = pgLine;
    TColor foreColor_ = kGreen;
    TColor backColor_ = kBlack;
    TColor axisColor_ = kYellow;
    TColor rightYAxisColor_ = kYellow;
    int gridSize_ = 15;
    int stepSize_ = 5;
    int scale_ = 200;
    int gradient_ = 100;
    bool gridlines_ = true;
    bool axislines_ = true;
    bool axisCentre_ = true;
    bool rightYAxislines_ = true;
    int penWidth_ = 1;
    TNotifyEvent onScaleChange_;

    Area plot_;
    Area scrollSource_;
    Area scrollDestination_;
    Area newBand_;
    // Pixels from the plot's right edge to the next vertical gridline position.
    double gridPhase_ = 0;
    QImage bitmap_;
    // The control's size when the picture was last laid out (the picture is empty, not 0 by h,
    // when one side is 0).
    QSize layoutSize_;
    bool scrolling_ = false;
    int zeroLine_ = 1;
    double gridSpacing_ = 0;
    std::vector<Slot> history_;
    int slotCount_ = 0;
    int oldestSlot_ = 1;
    int currentSlot_ = 0;
    // What the slot that the step in progress reuses held before: the start of the segments of
    // the oldest band still to be drawn when every visible band is waiting.
    Slot reusedSlot_;

    // Completed steps not yet drawn: first the bands placed while the chart fills (slot and
    // right edge), then the number of bands that scroll the chart.
    struct PlacedBand {
        int slot;
        long long right;
    };
    std::vector<PlacedBand> pendingPlaced_;
    long long pendingScrolls_ = 0;
    // Drawn on the picture since the pacer last passed it on to the screen.
    QRect drawnUnshown_;

    QRgb foreRgb_ = 0;
    QRgb backRgb_ = 0;
    QRgb axisRgb_ = 0;
    QRgb rightYAxisRgb_ = 0;
};

}  // namespace vx
