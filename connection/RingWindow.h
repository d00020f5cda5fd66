#pragma once
// A ring of records with the instrument's window rules, and the sums and extremes over it kept in
// amortised O(1) per record.
//
// The rules: the window size N is given with every record (it follows the output rate and the
// averaging period, so it can change between records). A record goes to ring[index]; index grows
// by one; reaching N marks the ring full; the window is ring[0 .. count-1] with count = N when
// full, else index; then index wraps to 0 once it is N or more. After an N change the window can
// therefore hold zeros or records left from before: it is always the positions 0..count-1, never
// "the last count records".
//
// Instead of re-summing the window per record, every channel keeps a compensated running sum and
// every record a rank in the order in which the writes will overwrite it. In the steady cases
// (the window grows by the position just written, or the same window has its next-to-go record
// replaced) sums and extremes update in O(1): extremes by monotonic deques in rank order. Any
// other change of the window (N changed) rebuilds from the ring in O(count), which happens only
// when the rate or period changes. The sums are recomputed from the ring once per window length
// as well, so rounding cannot accumulate over days of running.

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vx {

// Neumaier's compensated sum: adding and later subtracting the same values leaves no drift worth
// speaking of, even when large values cancel.
class CompensatedSum {
public:
    void Add(double x) {
        const double t = sum_ + x;
        if ((sum_ >= 0 ? sum_ : -sum_) >= (x >= 0 ? x : -x)) {
            compensation_ += (sum_ - t) + x;
        } else {
            compensation_ += (x - t) + sum_;
        }
        sum_ = t;
    }
    double Value() const { return sum_ + compensation_; }
    void Clear() { sum_ = compensation_ = 0; }

private:
    double sum_ = 0;
    double compensation_ = 0;
};

template <std::size_t kChannels, bool kExtremes>
class RingWindow {
public:
    using Values = std::array<double, kChannels>;

    explicit RingWindow(int capacity) : capacity_(capacity) {
        // Storage grows with the part of the ring in use: a connection that never averages
        // never holds the 60 000 records.
    }

    int Capacity() const { return capacity_; }

    // Every slot holds `blank` (and `blankKey`), index 0, not full, empty window.
    void Reset(const Values& blank, double blankKey = 0) {
        // Slots past the stored part read as the blank, so emptying the storage (capacity kept)
        // blanks the whole ring.
        blank_ = blank;
        blankKey_ = blankKey;
        values_.clear();
        keys_.clear();
        index_ = 0;
        full_ = false;
        count_ = 0;
        ClearRunningState();
    }

    // Stores one record with window size `windowSize` (1..Capacity(); larger is taken as the
    // capacity) and returns the new count.
    int Store(int windowSize, const Values& values, double key = 0) {
        const int n = std::clamp(windowSize, 1, capacity_);
        const int position = index_;
        Cover(position + 1);
        const Values old = values_[Slot(position)];
        values_[Slot(position)] = values;
        if constexpr (kExtremes) {
            keys_[Slot(position)] = key;
        }
        ++index_;
        if (index_ == n) {
            full_ = true;
        }
        const int newCount = full_ ? n : index_;
        if (index_ >= n) {
            index_ = 0;
        }

        Cover(newCount);
        if (count_ == position && newCount == position + 1) {
            Grow(position, values);
        } else if (count_ == newCount && position < newCount && count_ > 0 &&
                   ranks_[Slot(position)] == lowRank_) {
            Slide(position, old, values);
        } else {
            count_ = newCount;
            Rebuild();
            return count_;
        }
        count_ = newCount;
        if (++storesSinceResum_ >= std::max(count_, kMinResumInterval)) {
            Resum();
        }
        return count_;
    }

    int Count() const { return count_; }
    int Index() const { return index_; }
    bool Full() const { return full_; }
    double Sum(std::size_t channel) const { return sums_[channel].Value(); }
    // Extremes of the keys in the window; meaningful only when Count() > 0.
    double MaxKey() const { return keys_[Slot(maxQueue_.Front())]; }
    double MinKey() const { return keys_[Slot(minQueue_.Front())]; }

    const Values& ValuesAt(int position) const {
        return Slot(position) < values_.size() ? values_[Slot(position)] : blank_;
    }
    double KeyAt(int position) const {
        return Slot(position) < keys_.size() ? keys_[Slot(position)] : blankKey_;
    }

private:
    // A fixed-capacity double-ended queue of ring positions.
    class PositionQueue {
    public:
        void Allocate(std::size_t capacity) { items_.assign(capacity + 1, 0); }
        bool Empty() const { return head_ == tail_; }
        int Front() const { return items_[head_]; }
        int Back() const { return items_[tail_ == 0 ? items_.size() - 1 : tail_ - 1]; }
        void PopFront() { head_ = head_ + 1 == items_.size() ? 0 : head_ + 1; }
        void PopBack() { tail_ = tail_ == 0 ? items_.size() - 1 : tail_ - 1; }
        void PushBack(int position) {
            items_[tail_] = position;
            tail_ = tail_ + 1 == items_.size() ? 0 : tail_ + 1;
        }
        void Clear() { head_ = tail_ = 0; }

    private:
        std::vector<int> items_;
        std::size_t head_ = 0;
        std::size_t tail_ = 0;
    };

    static constexpr int kMinResumInterval = 64;

    static std::size_t Slot(int position) { return static_cast<std::size_t>(position); }

    // Makes positions 0..size-1 addressable; new slots hold the blank.
    void Cover(int size) {
        if (Slot(size) <= values_.size()) {
            return;
        }
        if (ranks_.empty()) {
            ranks_.resize(Slot(capacity_));
            if constexpr (kExtremes) {
                maxQueue_.Allocate(Slot(capacity_));
                minQueue_.Allocate(Slot(capacity_));
            }
        }
        values_.resize(Slot(size), blank_);
        if constexpr (kExtremes) {
            keys_.resize(Slot(size), blankKey_);
        }
    }

    void ClearRunningState() {
        for (auto& sum : sums_) {
            sum.Clear();
        }
        maxQueue_.Clear();
        minQueue_.Clear();
        lowRank_ = nextRank_ = 0;
        storesSinceResum_ = 0;
    }

    void AddValues(const Values& values) {
        for (std::size_t c = 0; c < kChannels; ++c) {
            sums_[c].Add(values[c]);
        }
    }

    void RemoveValues(const Values& values) {
        for (std::size_t c = 0; c < kChannels; ++c) {
            sums_[c].Add(-values[c]);
        }
    }

    // The newest record joins the back of both deques; records it dominates can never be an
    // extreme again while it stays in the window, since they leave before it.
    void PushExtremes(int position) {
        if constexpr (kExtremes) {
            const double key = keys_[Slot(position)];
            while (!maxQueue_.Empty() && keys_[Slot(maxQueue_.Back())] <= key) {
                maxQueue_.PopBack();
            }
            maxQueue_.PushBack(position);
            while (!minQueue_.Empty() && keys_[Slot(minQueue_.Back())] >= key) {
                minQueue_.PopBack();
            }
            minQueue_.PushBack(position);
        }
    }

    // The record at `position` has the lowest rank: if it is still in a deque it is the front.
    void DropExtremes(int position) {
        if constexpr (kExtremes) {
            if (!maxQueue_.Empty() && maxQueue_.Front() == position) {
                maxQueue_.PopFront();
            }
            if (!minQueue_.Empty() && minQueue_.Front() == position) {
                minQueue_.PopFront();
            }
        }
    }

    void Grow(int position, const Values& values) {
        if (count_ == 0) {
            ClearRunningState();
        }
        AddValues(values);
        ranks_[Slot(position)] = nextRank_++;
        PushExtremes(position);
    }

    void Slide(int position, const Values& old, const Values& values) {
        RemoveValues(old);
        AddValues(values);
        DropExtremes(position);
        ++lowRank_;
        ranks_[Slot(position)] = nextRank_++;
        PushExtremes(position);
    }

    // Ranks in the order the coming writes overwrite the window: from the write index onwards,
    // wrapping within the window.
    void Rebuild() {
        ClearRunningState();
        const int start = index_ < count_ ? index_ : 0;
        for (int k = 0; k < count_; ++k) {
            int position = start + k;
            if (position >= count_) {
                position -= count_;
            }
            AddValues(values_[Slot(position)]);
            ranks_[Slot(position)] = nextRank_++;
            PushExtremes(position);
        }
    }

    void Resum() {
        for (auto& sum : sums_) {
            sum.Clear();
        }
        for (int position = 0; position < count_; ++position) {
            AddValues(values_[Slot(position)]);
        }
        storesSinceResum_ = 0;
    }

    int capacity_;
    std::vector<Values> values_;
    std::vector<double> keys_;
    std::vector<std::uint64_t> ranks_;
    PositionQueue maxQueue_;
    PositionQueue minQueue_;
    std::array<CompensatedSum, kChannels> sums_{};
    Values blank_{};
    double blankKey_ = 0;
    int index_ = 0;
    bool full_ = false;
    int count_ = 0;
    std::uint64_t lowRank_ = 0;
    std::uint64_t nextRank_ = 0;
    int storesSinceResum_ = 0;
};

}  // namespace vx
