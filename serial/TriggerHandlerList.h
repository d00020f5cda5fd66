#pragma once
// A dispatcher's handlers: event handlers (a function and the object that registered it, run on
// the dispatch thread or, registered as synchronised, on the user-interface thread) and
// procedure handlers (run on the dispatch thread).
//
// A delivery calls the handlers that were registered when it began, event handlers first, each
// by its position. A handler may deregister itself or another during the delivery: that one is
// marked and skipped, and removed when the delivery ends, so the positions stay valid; one
// registered during a delivery waits for the next.
//
// Not locked: the dispatcher holds its main lock around every call (and calls the handlers
// themselves without it). A removed handler's function is handed back rather than destroyed, so
// the caller lets it go after releasing that lock: it may hold the last reference to an object
// whose destructor takes locks of its own (a framer manager), and must not do so under ours.

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace vx {

using TTriggerEvent = std::function<void(unsigned msg, unsigned value, long param)>;
using TTriggerProc = void (*)(unsigned msg, unsigned value, long param);

class TriggerHandlerList {
public:
    // One handler of a delivery, copied out so it can be called without the lock.
    struct Call {
        TTriggerEvent event;
        TTriggerProc proc = nullptr;
        bool sync = false;  // on the user-interface thread
    };

    void AddEvent(const void* owner, TTriggerEvent handler, bool sync);
    // The first live registration of `owner`.
    [[nodiscard]] TTriggerEvent RemoveEvent(const void* owner);
    void AddProc(TTriggerProc proc);
    void RemoveProc(TTriggerProc proc);

    // Whether any handler is registered and not deregistered: without one, nothing is
    // delivered.
    bool AnyLive() const { return anyLive_; }
    bool Delivering() const { return delivering_; }

    // Starts a delivery; the number of positions it has.
    std::size_t BeginDelivery();
    // The handler at `position` of this delivery; false when it was deregistered meanwhile.
    bool At(std::size_t position, Call& call) const;
    [[nodiscard]] std::vector<TTriggerEvent> EndDelivery();

private:
    struct EventHandler {
        const void* owner;
        TTriggerEvent fn;
        bool sync;
        bool deleted;
    };
    struct ProcHandler {
        TTriggerProc proc;
        bool deleted;
    };

    template <typename List, typename Same>
    std::optional<typename List::value_type> Remove(List& list, Same same);
    void UpdateLive();

    std::vector<EventHandler> events_;
    std::vector<ProcHandler> procs_;
    std::size_t roundEvents_ = 0;
    std::size_t roundProcs_ = 0;
    bool delivering_ = false;
    bool anyDeleted_ = false;
    bool anyLive_ = false;
};

}  // namespace vx
