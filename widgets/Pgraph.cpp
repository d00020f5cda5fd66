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
    ShiftY();
    PlaceNewBand();
    // Wide pens reach beyond their band, where a band drawn later in the same place would not
    // clear them: such a chart draws each step at once.
    if (penWidth_ != 1) {
        DrawPendingBands();
    }
    RequestFrame();
}

void Tpgraph::Reset() {
    pendingPlaced_.clear();
    pendingScrolls_ = 0;
    reusedSlot_ = Slot{};
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
    reusedSlot_ = current;
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
    reusedSlot_ = Slot{};
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
// shown, so that positions and band count always agree with the picture. Steps still waiting are
// drawn at the size they were placed for first.
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

// The grid of the new band, which lies `shift` pixels left of its live place (bands drawn
// together). A band that will not show (draw false) only moves the phase on.
//
// The phase keeps its fraction: cut to whole pixels at every line, the live grid would drift
// against the grid that a replay lays out, and jump at every change of settings.
void Tpgraph::DrawGridlines(long long shift, bool draw) {
    if (gridSpacing_ < 1) {
        return;
    }
    if (draw) {
        DrawHorizontalGridlines(newBand_.left, newBand_.right);
    }
    PixelCanvas canvas(bitmap_);
    double phase = gridPhase_ - stepSize_;
    // With a band wider than the grid spacing several lines fall in one band; positions left of
    // the picture are skipped without walking them one by one.
    const double leftmost = -static_cast<double>(plot_.right) - 1;
    if (phase < leftmost) {
        phase += std::floor((leftmost - phase) / gridSpacing_) * gridSpacing_;
    }
    while (phase < 0) {
        if (draw) {
            const long long column =
                plot_.right - shift + static_cast<long long>(std::floor(phase));
            canvas.FillRect(column, plot_.top, column + 1, plot_.bottom, foreRgb_);
        }
        phase += gridSpacing_;
    }
    gridPhase_ = phase;
}

// ---- Drawing ---------------------------------------------------------------------------------

// Moves the picture left by `bands` bands (the rightmost column, x = plot right, stays).
void Tpgraph::ScrollGraph(long long bands) {
    const long long shift = (bands - 1) * stepSize_;
    PixelCanvas(bitmap_).MoveColumns(scrollSource_.left + shift, scrollSource_.right,
                                     scrollDestination_.left, scrollSource_.top,
                                     scrollSource_.bottom);
}

// The place of the time step that has just ended. Until the chart is full its slot number gives
// its place (the chart fills from the left); once the newest band reaches the right edge the
// chart scrolls. This is decided per band, whether or not the band has points, so that steps
// without points still advance the chart.
void Tpgraph::PlaceNewBand() {
    if (scrolling_) {
        ++pendingScrolls_;
        return;
    }
    long long right =
        plot_.right - (static_cast<long long>(GetBandCount()) - currentSlot_) * stepSize_;
    if (right >= plot_.right) {
        scrolling_ = true;
        right = plot_.right;
    }
    pendingPlaced_.push_back({LastY(currentSlot_), right});
}

// Bands placed while filling come first (the chart starts to scroll only after them); then the
// bands that scroll. Axes go on last: nothing drawn before them depends on them.
void Tpgraph::DrawPendingBands() {
    if (pendingPlaced_.empty() && pendingScrolls_ == 0) {
        return;
    }
    for (const PlacedBand& band : pendingPlaced_) {
        DisplayBandAt(band.slot, band.right);
        drawnUnshown_ |= BandColumns(band.right);
    }
    pendingPlaced_.clear();
    if (pendingScrolls_ > 0) {
        DrawScrolledBands(pendingScrolls_);
        drawnUnshown_ = bitmap_.rect();
        pendingScrolls_ = 0;
    }
    DrawAxes();
}

// `count` steps of a scrolling chart, the newest in the slot before the current one: the
// picture moves left by all of them at once, and each band is cleared, gridded and drawn where
// the later scrolls would have moved it. Bands that would have scrolled out of the picture only
// move the grid's phase on.
void Tpgraph::DrawScrolledBands(long long count) {
    const long long step = stepSize_;
    // Bands this many steps left of the newest lie wholly outside the picture.
    const long long hiddenFrom = std::max((plot_.right + step - 1) / step, 0LL);
    if (count < hiddenFrom) {
        ScrollGraph(count);
    }
    long long age = count - 1;
    if (age >= hiddenFrom) {
        for (long long hidden = age - hiddenFrom + 1; gridlines_ && hidden > 0; --hidden) {
            DrawGridlines(0, false);
        }
        age = hiddenFrom - 1;
    }
    const int newest = LastY(currentSlot_);
    for (; age >= 0; --age) {
        const long long shift = age * step;
        const Area live = newBand_;
        newBand_.left -= shift;
        newBand_.right -= shift;
        PixelCanvas(bitmap_).FillRect(newBand_.left, newBand_.top, newBand_.right, newBand_.bottom,
                                      backRgb_);
        if (gridlines_) {
            DrawGridlines(shift, true);
        }
        newBand_ = live;
        const int slot = static_cast<int>(((newest - age) % slotCount_ + slotCount_) % slotCount_);
        DisplayBandAt(slot, plot_.right - shift);
    }
}

void Tpgraph::DisplayBandAt(int slot, long long right) {
    const Area saved = newBand_;
    newBand_.left = right - stepSize_;
    newBand_.right = right;
    DisplayPoints(slot);
    newBand_ = saved;
}

// The band before `slot` as it was when `slot` was completed. Only the slot of the step in
// progress can have changed since: it held the oldest band before the step reused it. (With a
// ring of two slots that band was already gone when `slot` was completed.)
const Tpgraph::Slot& Tpgraph::Predecessor(int slot) const {
    const int before = LastY(slot);
    if (before != currentSlot_) {
        return history_[static_cast<size_t>(before)];
    }
    static const Slot kEmpty{};
    return slotCount_ > 2 ? reusedSlot_ : kEmpty;
}

void Tpgraph::DisplayPoints(int slot) {
    const Slot& points = history_[static_cast<size_t>(slot)];
    const Slot& before = Predecessor(slot);
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
    // The grid's phase moves on with every band drawn; a replay keeps the grid where the live
    // drawing left it.
    DrawPendingBands();
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
    DrawPendingBands();
    canvas.setCompositionMode(QPainter::CompositionMode_Source);
    canvas.drawImage(0, 0, bitmap_);
}

const QImage& Tpgraph::Bitmap() {
    DrawPendingBands();
    return bitmap_;
}

// A chart that is not showing draws nothing: it is painted in full when it shows again.
void Tpgraph::RefreshView() {
    if (!isVisible()) {
        return;
    }
    const QRect area = PendingArea() | drawnUnshown_;
    drawnUnshown_ = QRect();
    if (!area.isEmpty()) {
        update(area);
    }
}

// A placed band and the column left of it, where its segments start, within the control.
QRect Tpgraph::BandColumns(long long right) const {
    const long long left = std::max(right - stepSize_ - 1, 0LL);
    right = std::min<long long>(right, std::max(width(), 0));
    return left < right ? QRect(static_cast<int>(left), 0, static_cast<int>(right - left), height())
                        : QRect();
}

// Columns the waiting steps will change: the whole picture once it scrolls; otherwise each
// placed band and the column left of it, where its segments start.
QRect Tpgraph::PendingArea() const {
    if (pendingScrolls_ > 0) {
        return rect();
    }
    QRect area;
    for (const PlacedBand& band : pendingPlaced_) {
        area |= BandColumns(band.right);
    }
    return area;
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
        DrawPendingBands();
        kind_ = kind;
        Replay();
    }
}

void Tpgraph::SetForeColor(TColor colour) {
    if (!(colour == foreColor_)) {
        DrawPendingBands();
        foreColor_ = colour;
        Replay();
    }
}

void Tpgraph::SetBackColor(TColor colour) {
    if (!(colour == backColor_)) {
        DrawPendingBands();
        backColor_ = colour;
        Replay();
    }
}

void Tpgraph::SetAxisColor(TColor colour) {
    if (!(colour == axisColor_)) {
        DrawPendingBands();
        axisColor_ = colour;
        Replay();
    }
}

void Tpgraph::SetRightYAxisColor(TColor colour) {
    if (!(colour == rightYAxisColor_)) {
        DrawPendingBands();
        rightYAxisColor_ = colour;
        Replay();
    }
}

void Tpgraph::SetGridSize(int gridSize) {
    gridSize = std::max(gridSize, 2);
    if (gridSize != gridSize_) {
        DrawPendingBands();
        gridSize_ = gridSize;
        Replay();
    }
}

void Tpgraph::SetStepSize(int stepSize) {
    stepSize = std::max(stepSize, 1);
    if (stepSize != stepSize_) {
        DrawPendingBands();
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
    DrawPendingBands();
    scale_ = rounded;
    if (onScaleChange_) {
        onScaleChange_(this);
    }
    Replay();
}

void Tpgraph::SetGradient(int gradient) {
    if (gradient != gradient_) {
        DrawPendingBands();
        gradient_ = gradient;
        Replay();
    }
}

void Tpgraph::SetGridlines(bool on) {
    if (on != gridlines_) {
        DrawPendingBands();
        gridlines_ = on;
        Replay();
    }
}

void Tpgraph::SetAxislines(bool on) {
    if (on != axislines_) {
        DrawPendingBands();
        axislines_ = on;
        Replay();
    }
}

void Tpgraph::SetAxisCentre(bool on) {
    if (on != axisCentre_) {
        DrawPendingBands();
        axisCentre_ = on;
        Replay();
    }
}

void Tpgraph::SetRightYAxislines(bool on) {
    if (on != rightYAxislines_) {
        DrawPendingBands();
        rightYAxislines_ = on;
        Replay();
    }
}

// The width of the plotted lines (the chart draws nothing else with a pen).
void Tpgraph::SetPenWidth(int width) {
    if (width != penWidth_) {
        DrawPendingBands();
        penWidth_ = width;
        Replay();
    }
}

}  // namespace vx
