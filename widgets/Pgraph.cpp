#include "widgets/Pgraph.h"

#include "widgets/PixelCanvas.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>
#include <stdexcept>

namespace vx {
namespace {

// Offsets beyond this lie far outside any picture; clamping keeps the conversion defined.
constexpr double kOffsetLimit = 1e12;

long long Truncate(double value) {
    return static_cast<long long>(std::clamp(value, -kOffsetLimit, kOffsetLimit));
}

}  // namespace

Tpgraph::Tpgraph(QWidget* owner) : QWidget(owner) {
    // The chart paints every pixel of its area, so the toolkit need not erase it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(800, 500);
    AllocateEmptyHistory();
    oldestSlot_ = 1;
    currentSlot_ = 0;
    gridPhase_ = 0;
    Initialize(gridSize_ - 1);
}

Tpgraph::~Tpgraph() = default;

// ---- Points and time steps -------------------------------------------------------------------

void Tpgraph::DataPoint(TColor colour, int value) {
    Slot& slot = history_[static_cast<size_t>(currentSlot_)];
    if (slot.count >= kMaxPoints) {
        throw std::out_of_range("");
    }
    slot.colours[static_cast<size_t>(slot.count)] = colour;
    slot.values[static_cast<size_t>(slot.count)] = value;
    ++slot.count;
}

void Tpgraph::Update() {
    EnsureLayout();
    if (scrolling_) {
        ScrollGraph();
    }
    ShiftY();
    DisplayLiveBand(LastY(currentSlot_));
    DrawAxes();
    // Coalesced: with many instruments at 100 Hz an immediate repaint per step would flush the
    // window far more often than the screen refreshes.
    update();
}

void Tpgraph::Reset() {
    scrolling_ = false;
    if (GetBandCount() + 2 != slotCount_) {
        AllocateEmptyHistory();
    }
    oldestSlot_ = 1;
    currentSlot_ = 0;
    gridPhase_ = 0;
    for (Slot& slot : history_) {
        slot.count = 0;
        slot.startKnown = true;
    }
    Initialize(gridSize_ - 1);
    update();
}

int Tpgraph::GetBandCount() const {
    return std::max(width(), 0) / stepSize_;
}

int Tpgraph::RoundUp(int value, int step) {
    // 64-bit so that neither INT_MIN % -1 nor the rounding of values near the limits overflows.
    const long long v = value;
    const long long s = step;
    if (s != 0 && v % s != 0) {
        return static_cast<int>(std::clamp<long long>((v / s + 1) * s, INT_MIN, INT_MAX));
    }
    return value;
}

// ---- History ring ----------------------------------------------------------------------------

void Tpgraph::AllocateEmptyHistory() {
    slotCount_ = GetBandCount() + 2;
    history_.assign(static_cast<size_t>(slotCount_), Slot{});
}

int Tpgraph::FirstY() const {
    return oldestSlot_;
}

int Tpgraph::NextY(int i) const {
    const int next = (i + 1) % slotCount_;
    return next == oldestSlot_ ? -1 : next;
}

int Tpgraph::LastY(int i) const {
    return i == 0 ? slotCount_ - 1 : i - 1;
}

void Tpgraph::ShiftY() {
    currentSlot_ = (currentSlot_ + 1) % slotCount_;
    Slot& current = history_[static_cast<size_t>(currentSlot_)];
    current.count = 0;
    current.startKnown = true;
    oldestSlot_ = (currentSlot_ + 1) % slotCount_;
}

// Keeps the bands across a change of band count, oldest first in slots 0, 1, 2, ..., with the
// step in progress as the current slot and the oldest slot after it. A chart that has not yet
// filled keeps its bands in their slots (a band's slot number is its place from the left); if
// they no longer fit, the chart becomes a scrolling one with the newest band at the right edge.
void Tpgraph::ReallocHistory() {
    const int bandCount = GetBandCount();
    const int newCount = bandCount + 2;
    std::vector<Slot> sequence;
    if (scrolling_) {
        for (int s = FirstY(); s != -1; s = NextY(s)) {
            sequence.push_back(history_[static_cast<size_t>(s)]);
        }
        // The oldest band's predecessor is already reused.
        sequence.front().startKnown = false;
    } else {
        sequence.assign(history_.begin(), history_.begin() + currentSlot_ + 1);
        if (currentSlot_ > bandCount - 1) {
            scrolling_ = true;
        }
    }
    if (sequence.size() > static_cast<size_t>(newCount)) {
        sequence.erase(sequence.begin(), sequence.end() - newCount);
        sequence.front().startKnown = false;
    }
    std::vector<Slot> fresh(static_cast<size_t>(newCount));
    std::copy(sequence.begin(), sequence.end(), fresh.begin());
    history_ = std::move(fresh);
    slotCount_ = newCount;
    currentSlot_ = static_cast<int>(sequence.size()) - 1;
    oldestSlot_ = (currentSlot_ + 1) % slotCount_;
}

// ---- Layout ----------------------------------------------------------------------------------

void Tpgraph::Initialize(double offset) {
    zeroLine_ = axisCentre_ ? height() / 2 : 1;
    const QSize size(std::max(width(), 0), std::max(height(), 0));
    if (bitmap_.size() != size || bitmap_.isNull()) {
        bitmap_ = QImage(size, QImage::Format_RGB32);
    }
    layoutSize_ = size;
    plot_ = Area{0, 0, bitmap_.width() - 1LL, bitmap_.height()};
    ResolveColours();
    // The whole picture, not only the plot: the column right of the plot is drawn only by the
    // right axis and would otherwise show uninitialised memory when that axis is off.
    bitmap_.fill(backRgb_);
    InitialiseGridlines(offset);
    DrawAxes();
    scrollSource_ = scrollDestination_ = newBand_ = plot_;
    scrollSource_.left = stepSize_;
    scrollDestination_.right -= stepSize_;
    newBand_.left = plot_.right - stepSize_;
}

void Tpgraph::ResolveColours() {
    const QPalette& colours = palette();
    foreRgb_ = foreColor_.Resolve(colours);
    backRgb_ = backColor_.Resolve(colours);
    axisRgb_ = axisColor_.Resolve(colours);
    rightYAxisRgb_ = rightYAxisColor_.Resolve(colours);
}

// A chart whose size changed since it was last laid out is rebuilt before it is drawn on or
// shown, so that positions and band count always agree with the picture.
void Tpgraph::EnsureLayout() {
    if (layoutSize_ != QSize(std::max(width(), 0), std::max(height(), 0)) ||
        GetBandCount() + 2 != slotCount_) {
        Replay();
    }
}

// ---- Gridlines -------------------------------------------------------------------------------

// A grid finer than one line per pixel would only paint the plot over; it is left out, which
// also keeps the walks over gridline positions finite for a plot of height 0.
void Tpgraph::InitialiseGridlines(double offset) {
    gridSpacing_ = static_cast<double>(PlotHeight()) / gridSize_;
    if (gridSpacing_ < 1) {
        gridPhase_ = 0;
        return;
    }
    double position = offset;
    while (position < plot_.right) {
        position += gridSpacing_;
    }
    gridPhase_ = position - static_cast<double>(plot_.right);
    if (!gridlines_) {
        return;
    }
    DrawHorizontalGridlines(plot_.left, plot_.right);
    PixelCanvas canvas(bitmap_);
    for (position = offset; position < plot_.right; position += gridSpacing_) {
        const long long column = Truncate(position);
        canvas.FillRect(column, plot_.top, column + 1, plot_.bottom, foreRgb_);
    }
}

void Tpgraph::DrawHorizontalGridlines(long long left, long long right) {
    PixelCanvas canvas(bitmap_);
    const auto line = [&](double position) {
        const long long row = Truncate(position);
        canvas.FillRect(left, row, right, row + 1, foreRgb_);
    };
    if (axisCentre_) {
        for (double position = zeroLine_; position < plot_.bottom; position += gridSpacing_) {
            line(position);
        }
        for (double position = zeroLine_ - gridSpacing_; position > plot_.top;
             position -= gridSpacing_) {
            line(position);
        }
    } else {
        for (double position = plot_.bottom + gridSpacing_; position > plot_.top;
             position -= gridSpacing_) {
            line(position);
        }
    }
}

// The phase keeps its fraction: cut to whole pixels at every line, the live grid would drift
// against the grid that a replay lays out, and jump at every change of settings.
void Tpgraph::DrawGridlines() {
    if (gridSpacing_ < 1) {
        return;
    }
    DrawHorizontalGridlines(newBand_.left, newBand_.right);
    PixelCanvas canvas(bitmap_);
    double phase = gridPhase_ - stepSize_;
    // With a band wider than the grid spacing several lines fall in one band; positions left of
    // the picture are skipped without walking them one by one.
    const double leftmost = -static_cast<double>(plot_.right) - 1;
    if (phase < leftmost) {
        phase += std::floor((leftmost - phase) / gridSpacing_) * gridSpacing_;
    }
    while (phase < 0) {
        const long long column = plot_.right + static_cast<long long>(std::floor(phase));
        canvas.FillRect(column, plot_.top, column + 1, plot_.bottom, foreRgb_);
        phase += gridSpacing_;
    }
    gridPhase_ = phase;
}

// ---- Drawing ---------------------------------------------------------------------------------

void Tpgraph::ScrollGraph() {
    PixelCanvas canvas(bitmap_);
    canvas.MoveColumns(scrollSource_.left, scrollSource_.right, scrollDestination_.left,
                       scrollSource_.top, scrollSource_.bottom);
    canvas.FillRect(newBand_.left, newBand_.top, newBand_.right, newBand_.bottom, backRgb_);
    if (gridlines_) {
        DrawGridlines();
    }
}

// The band of a time step that has just ended. Until the chart is full its slot number gives
// its place (the chart fills from the left); once the newest band reaches the right edge the
// chart scrolls. This is decided per band, whether or not the band has points, so that steps
// without points still advance the chart.
void Tpgraph::DisplayLiveBand(int slot) {
    long long right = plot_.right;
    if (!scrolling_) {
        right = plot_.right - (static_cast<long long>(GetBandCount()) - currentSlot_) * stepSize_;
        if (right >= plot_.right) {
            scrolling_ = true;
            right = plot_.right;
        }
    }
    DisplayBandAt(slot, right);
}

void Tpgraph::DisplayBandAt(int slot, long long right) {
    const Area saved = newBand_;
    newBand_.left = right - stepSize_;
    newBand_.right = right;
    DisplayPoints(slot);
    newBand_ = saved;
}

void Tpgraph::DisplayPoints(int slot) {
    const Slot& points = history_[static_cast<size_t>(slot)];
    const Slot& before = history_[static_cast<size_t>(LastY(slot))];
    long long previous = 0;
    for (int i = 0; i < points.count; ++i) {
        const TColor colour = points.colours[static_cast<size_t>(i)];
        const long long value = points.values[static_cast<size_t>(i)];
        if (kind_ == pgBar) {
            PaintBar(colour, previous, value - previous);
        } else {
            long long start = 0;
            for (int j = 0; j < before.count; ++j) {
                if (before.colours[static_cast<size_t>(j)] == colour) {
                    start = before.values[static_cast<size_t>(j)];
                    break;
                }
            }
            PaintLine(colour, start, value);
        }
        previous = value;
    }
}

long long Tpgraph::RowOf(long long value) const {
    const double fullScale = axisCentre_ ? 2.0 * scale_ : static_cast<double>(scale_);
    // A scale of 0 has no divisor: every value then lies on the zero line.
    const long long offset =
        fullScale == 0 ? 0 : Truncate(static_cast<double>(PlotHeight()) * (value / fullScale));
    return plot_.bottom - zeroLine_ - offset;
}

// A band's segment runs one pixel left of the band's edges: from the previous band's last
// column, which it colours, to this band's last column, which the next segment colours.
void Tpgraph::PaintLine(TColor colour, long long previous, long long value) {
    PixelCanvas canvas(bitmap_);
    canvas.Line(newBand_.left - 1, RowOf(previous), newBand_.right - 1, RowOf(value),
                colour.Resolve(palette()), penWidth_);
}

void Tpgraph::PaintBar(TColor colour, long long base, long long height) {
    if (height == 0 || scale_ == 0) {
        return;
    }
    const long long plotHeight = PlotHeight();
    const long long barHeight = plotHeight * height / scale_;
    const long long baseOffset = plotHeight * base / scale_;
    if (barHeight == 0) {
        return;
    }
    PixelCanvas canvas(bitmap_);
    canvas.FillRect(newBand_.left, plot_.bottom - baseOffset - barHeight - 1, newBand_.right,
                    plot_.bottom - baseOffset, colour.Resolve(palette()));
}

void Tpgraph::DrawAxes() {
    PixelCanvas canvas(bitmap_);
    if (axislines_) {
        canvas.FillRect(plot_.left, plot_.top, plot_.left + 1, plot_.bottom, axisRgb_);
        const long long row = plot_.bottom - zeroLine_;
        canvas.FillRect(plot_.left, row, plot_.right, row + 1, axisRgb_);
    }
    if (rightYAxislines_) {
        canvas.FillRect(plot_.right, plot_.top, plot_.right + 1, plot_.bottom, rightYAxisRgb_);
    }
}

// ---- Redrawing from the history --------------------------------------------------------------

void Tpgraph::Replay() {
    if (GetBandCount() + 2 != slotCount_) {
        ReallocHistory();
    }
    Initialize(ReplayGridOffset());
    ReplayBands();
    DrawAxes();
    update();
}

// The first vertical gridline's column, chosen so that the grid keeps its place relative to
// the right edge (and so to the bands, which are placed from the right edge).
double Tpgraph::ReplayGridOffset() const {
    const double spacing = static_cast<double>(std::max(height(), 0)) / gridSize_;
    if (spacing < 1) {
        return 0;
    }
    double offset = std::fmod(static_cast<double>(std::max(width(), 0) - 1) + gridPhase_, spacing);
    if (offset < 0) {
        offset += spacing;
    }
    return offset;
}

// Bands are drawn oldest first where live drawing put them. The step in progress is left for
// the next Update, and the oldest slot is left out: its predecessor has been reused, so its
// segment has no known start.
void Tpgraph::ReplayBands() {
    if (!scrolling_) {
        const long long bandCount = GetBandCount();
        for (int slot = 0; slot < currentSlot_; ++slot) {
            if (history_[static_cast<size_t>(slot)].startKnown) {
                DisplayBandAt(slot, plot_.right - (bandCount - slot - 1) * stepSize_);
            }
        }
        return;
    }
    std::vector<int> bands;
    for (int s = NextY(FirstY()); s != -1 && s != currentSlot_; s = NextY(s)) {
        bands.push_back(s);
    }
    const long long count = static_cast<long long>(bands.size());
    for (long long i = 0; i < count; ++i) {
        const int slot = bands[static_cast<size_t>(i)];
        if (history_[static_cast<size_t>(slot)].startKnown) {
            DisplayBandAt(slot, plot_.right - (count - 1 - i) * stepSize_);
        }
    }
}

// ---- Painting --------------------------------------------------------------------------------

void Tpgraph::paintEvent(QPaintEvent*) {
    QPainter canvas(this);
    Paint(canvas);
}

void Tpgraph::Paint(QPainter& canvas) {
    EnsureLayout();
    canvas.setCompositionMode(QPainter::CompositionMode_Source);
    canvas.drawImage(0, 0, bitmap_);
}

void Tpgraph::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Colours such as the button face follow the desktop's palette.
    if (event->type() == QEvent::PaletteChange && slotCount_ > 0) {
        Replay();
    }
}

// ---- Properties ------------------------------------------------------------------------------

void Tpgraph::SetGraphKind(TGraphKind kind) {
    if (kind != kind_) {
        kind_ = kind;
        Replay();
    }
}

void Tpgraph::SetForeColor(TColor colour) {
    if (!(colour == foreColor_)) {
        foreColor_ = colour;
        Replay();
    }
}

void Tpgraph::SetBackColor(TColor colour) {
    if (!(colour == backColor_)) {
        backColor_ = colour;
        Replay();
    }
}

void Tpgraph::SetAxisColor(TColor colour) {
    if (!(colour == axisColor_)) {
        axisColor_ = colour;
        Replay();
    }
}

void Tpgraph::SetRightYAxisColor(TColor colour) {
    if (!(colour == rightYAxisColor_)) {
        rightYAxisColor_ = colour;
        Replay();
    }
}

void Tpgraph::SetGridSize(int gridSize) {
    gridSize = std::max(gridSize, 2);
    if (gridSize != gridSize_) {
        gridSize_ = gridSize;
        Replay();
    }
}

void Tpgraph::SetStepSize(int stepSize) {
    stepSize = std::max(stepSize, 1);
    if (stepSize != stepSize_) {
        stepSize_ = stepSize;
        // Replay reallocates the history when the band count changes with the step.
        Replay();
    }
}

// Compared after rounding: a value that rounds to the stored scale changes nothing, so it
// neither notifies nor redraws.
void Tpgraph::SetScale(int scale) {
    const int rounded = RoundUp(scale, gradient_);
    if (rounded == scale_) {
        return;
    }
    scale_ = rounded;
    if (onScaleChange_) {
        onScaleChange_(this);
    }
    Replay();
}

void Tpgraph::SetGradient(int gradient) {
    if (gradient != gradient_) {
        gradient_ = gradient;
        Replay();
    }
}

void Tpgraph::SetGridlines(bool on) {
    if (on != gridlines_) {
        gridlines_ = on;
        Replay();
    }
}

void Tpgraph::SetAxislines(bool on) {
    if (on != axislines_) {
        axislines_ = on;
        Replay();
    }
}

void Tpgraph::SetAxisCentre(bool on) {
    if (on != axisCentre_) {
        axisCentre_ = on;
        Replay();
    }
}

void Tpgraph::SetRightYAxislines(bool on) {
    if (on != rightYAxislines_) {
        rightYAxislines_ = on;
        Replay();
    }
}

// The width of the plotted lines (the chart draws nothing else with a pen).
void Tpgraph::SetPenWidth(int width) {
    if (width != penWidth_) {
        penWidth_ = width;
        Replay();
    }
}

}  // namespace vx
