#include "serial/TriggerHandlerList.h"

#include <algorithm>
#include <optional>

namespace vx {

void TriggerHandlerList::AddEvent(const void* owner, TTriggerEvent handler, bool sync) {
    events_.push_back(EventHandler{owner, std::move(handler), sync, false});
    anyLive_ = true;
}

void TriggerHandlerList::AddProc(TTriggerProc proc) {
    procs_.push_back(ProcHandler{proc, false});
    anyLive_ = true;
}

TTriggerEvent TriggerHandlerList::RemoveEvent(const void* owner) {
    auto removed = Remove(events_, [owner](const EventHandler& h) { return h.owner == owner; });
    return removed ? std::move(removed->fn) : TTriggerEvent{};
}

void TriggerHandlerList::RemoveProc(TTriggerProc proc) {
    (void)Remove(procs_, [proc](const ProcHandler& h) { return h.proc == proc; });
}

// During a delivery the handler is only marked, so the delivery's positions stay valid.
template <typename List, typename Same>
std::optional<typename List::value_type> TriggerHandlerList::Remove(List& list, Same same) {
    std::optional<typename List::value_type> removed;
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const auto& h) { return !h.deleted && same(h); });
    if (it != list.end()) {
        if (delivering_) {
            it->deleted = true;
            anyDeleted_ = true;
        } else {
            removed = std::move(*it);
            list.erase(it);
        }
    }
    UpdateLive();
    return removed;
}

void TriggerHandlerList::UpdateLive() {
    auto live = [](const auto& h) { return !h.deleted; };
    anyLive_ = std::any_of(events_.begin(), events_.end(), live) ||
               std::any_of(procs_.begin(), procs_.end(), live);
}

std::size_t TriggerHandlerList::BeginDelivery() {
    delivering_ = true;
    roundEvents_ = events_.size();
    roundProcs_ = procs_.size();
    return roundEvents_ + roundProcs_;
}

bool TriggerHandlerList::At(std::size_t position, Call& call) const {
    if (position < roundEvents_) {
        const EventHandler& h = events_[position];
        if (h.deleted) {
            return false;
        }
        call = Call{h.fn, nullptr, h.sync};
        return true;
    }
    position -= roundEvents_;
    if (position >= roundProcs_ || procs_[position].deleted) {
        return false;
    }
    call = Call{nullptr, procs_[position].proc, false};
    return true;
}

std::vector<TTriggerEvent> TriggerHandlerList::EndDelivery() {
    delivering_ = false;
    roundEvents_ = roundProcs_ = 0;
    std::vector<TTriggerEvent> removed;
    if (anyDeleted_) {
        for (EventHandler& h : events_) {
            if (h.deleted) {
                removed.push_back(std::move(h.fn));
            }
        }
        std::erase_if(events_, [](const EventHandler& h) { return h.deleted; });
        std::erase_if(procs_, [](const ProcHandler& h) { return h.deleted; });
        anyDeleted_ = false;
    }
    UpdateLive();
    return removed;
}

}  // namespace vx
