#include "widgets/FramePacer.h"

#include <QCoreApplication>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace vx {

PacedView::~PacedView() {
    if (requested_ && pacer_ != nullptr) {
        pacer_->Withdraw(this);
    }
}

void PacedView::SetFramePacer(FramePacer* pacer) {
    if (pacer == pacer_) {
        return;
    }
    const bool wasRequested = requested_;
    if (requested_ && pacer_ != nullptr) {
        pacer_->Withdraw(this);
    }
    requested_ = false;
    pacer_ = pacer;
    if (wasRequested) {
        RequestFrame();
    }
}

void PacedView::RequestFrame() {
    if (pacer_ == nullptr) {
        RefreshView();
        return;
    }
    if (!requested_) {
        requested_ = true;
        pacer_->Request(this);
    }
}

FramePacer::FramePacer(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &FramePacer::DrawFrame);
}

FramePacer::~FramePacer() {
    for (PacedView* view : pending_) {
        view->requested_ = false;
    }
}

FramePacer& FramePacer::Shared() {
    static QPointer<FramePacer> shared;
    if (shared == nullptr) {
        shared = new FramePacer(QCoreApplication::instance());
    }
    return *shared;
}

void FramePacer::Pace(QWidget* root) {
    if (auto* view = dynamic_cast<PacedView*>(root)) {
        view->SetFramePacer(this);
    }
    for (QWidget* child : root->findChildren<QWidget*>()) {
        if (auto* view = dynamic_cast<PacedView*>(child)) {
            view->SetFramePacer(this);
        }
    }
}

void FramePacer::Request(PacedView* view) {
    if (pending_.empty()) {
        sinceFirstRequest_.start();
    }
    pending_.push_back(view);
    if (timer_.isActive()) {
        return;
    }
    // After a quiet spell the change is drawn at once; otherwise when the frame is due.
    const qint64 since = sinceFrame_.isValid() ? sinceFrame_.elapsed() : kFrameIntervalMs;
    timer_.start(static_cast<int>(std::max<qint64>(0, kFrameIntervalMs - since)));
}

FramePacer::Waits FramePacer::TakeWaits() {
    Waits waits;
    waits.longestMs = std::exchange(longestWaitMs_, 0);
    const long long count = std::exchange(waits_, 0);
    const qint64 total = std::exchange(totalWaitMs_, 0);
    waits.meanMs = count > 0 ? static_cast<double>(total) / static_cast<double>(count) : 0;
    return waits;
}

void FramePacer::Withdraw(PacedView* view) {
    pending_.erase(std::remove(pending_.begin(), pending_.end(), view), pending_.end());
    // A view that goes while the frame is being drawn is left out of it.
    std::replace(drawing_.begin(), drawing_.end(), view, static_cast<PacedView*>(nullptr));
    view->requested_ = false;
}

void FramePacer::DrawFrame() {
    timer_.stop();
    sinceFrame_.restart();
    ++frames_;
    if (!pending_.empty()) {
        const qint64 waited = sinceFirstRequest_.elapsed();
        longestWaitMs_ = std::max(longestWaitMs_, waited);
        totalWaitMs_ += waited;
        ++waits_;
    }
    // A view may ask again while it is refreshed; that is the next frame's business.
    drawing_.swap(pending_);
    for (std::size_t i = 0; i < drawing_.size(); ++i) {
        if (PacedView* view = drawing_[i]) {
            view->requested_ = false;
            view->RefreshView();
        }
    }
    drawing_.clear();
    if (!pending_.empty() && !timer_.isActive()) {
        timer_.start(kFrameIntervalMs);
    }
}

}  // namespace vx
