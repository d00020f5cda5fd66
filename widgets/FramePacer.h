#pragma once
// Paces the drawing of views that change with every message. An instrument may send 100
// messages a second and a dozen views change with each; nobody reads a digit that changes that
// often, and a screen shows 60 frames at most. A view whose content changed asks the pacer for
// a frame; at most 25 times a second, every view that asked since the last frame is brought to
// the screen once, however many changes it saw in between. The first change after a quiet spell
// is drawn at once, so a value is on screen at most one frame interval after it arrived.
//
// One pacer serves the whole program: the frames of every window fall together, and the toolkit
// paints and flushes them in one pass instead of one pass per window.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <vector>

class QWidget;

namespace vx {

class FramePacer;

// A view that reaches the screen through a pacer. Without one, a request refreshes at once.
class PacedView {
public:
    PacedView() = default;
    virtual ~PacedView();
    PacedView(const PacedView&) = delete;
    PacedView& operator=(const PacedView&) = delete;

    void SetFramePacer(FramePacer* pacer);
    FramePacer* Pacer() const { return pacer_; }

protected:
    // The content changed: RefreshView runs at the next frame (at once without a pacer).
    void RequestFrame();
    // Brings what changed to the screen, typically by marking the changed area for repainting.
    virtual void RefreshView() = 0;

private:
    friend class FramePacer;
    QPointer<FramePacer> pacer_;
    bool requested_ = false;
};

// Work done at most once per frame, such as handing a batch of received lines to a text view.
class PacedTask : public PacedView {
public:
    explicit PacedTask(std::function<void()> task) : task_(std::move(task)) {}
    void Request() { RequestFrame(); }

protected:
    void RefreshView() override { task_(); }

private:
    std::function<void()> task_;
};

class FramePacer : public QObject {
    Q_OBJECT

public:
    static constexpr int kFrameIntervalMs = 40;

    explicit FramePacer(QObject* parent = nullptr);
    ~FramePacer() override;

    // The program's pacer, made on first use; it goes with the application object.
    static FramePacer& Shared();

    // Sets this pacer on `root` and every view beneath it.
    void Pace(QWidget* root);

    // Draws the frame now instead of when it is due.
    void DrawFrame();
    bool FramePending() const { return !pending_.empty(); }
    long long Frames() const { return frames_; }
    // How long the first change of each frame waited for it, since the last call: what the
    // pacing adds to the time from a message to the screen.
    struct Waits {
        qint64 longestMs = 0;
        double meanMs = 0;
    };
    Waits TakeWaits();

private:
    friend class PacedView;
    void Request(PacedView* view);
    void Withdraw(PacedView* view);

    std::vector<PacedView*> pending_;
    std::vector<PacedView*> drawing_;  // the views of the frame being drawn
    QTimer timer_;
    QElapsedTimer sinceFrame_;
    QElapsedTimer sinceFirstRequest_;  // the oldest change still waiting
    qint64 longestWaitMs_ = 0;
    qint64 totalWaitMs_ = 0;
    long long waits_ = 0;
    long long frames_ = 0;
};

}  // namespace vx
