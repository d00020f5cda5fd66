#include "serial/UiHandOver.h"

#include "serial/UiThread.h"

#include <condition_variable>

namespace vx {

// One routine handed over. Only the user-interface thread starts or calls off a call, so the
// two never race; the dispatcher thread only waits for the end.
class UiHandOver::Call {
public:
    // On the user-interface thread: false when the call was called off before it could run.
    bool Start() {
        std::lock_guard lock(mutex_);
        if (state_ != State::Waiting) {
            return false;
        }
        state_ = State::Running;
        return true;
    }
    void Finish() { End(State::Done); }
    // False when the routine is running now.
    bool CallOff() {
        std::lock_guard lock(mutex_);
        if (state_ == State::Running) {
            return false;
        }
        if (state_ == State::Waiting) {
            state_ = State::CalledOff;
            ended_.notify_all();
        }
        return true;
    }
    // The posted task went without running (its queue was destroyed): nobody may wait for ever.
    void Dropped() { End(State::CalledOff, State::Waiting); }
    void WaitForEnd() {
        std::unique_lock lock(mutex_);
        ended_.wait(lock, [&] { return state_ == State::Done || state_ == State::CalledOff; });
    }

private:
    enum class State { Waiting, Running, Done, CalledOff };

    void End(State to, State onlyFrom = State::Running) {
        {
            std::lock_guard lock(mutex_);
            if (state_ != onlyFrom) {
                return;
            }
            state_ = to;
        }
        ended_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable ended_;
    State state_ = State::Waiting;
};

UiHandOver::UiHandOver(UiThread& ui) : ui_(ui) {}

UiHandOver::~UiHandOver() = default;

void UiHandOver::Run(const std::function<void()>& fn) {
    if (ui_.IsUiThread()) {
        fn();
        return;
    }
    auto call = std::make_shared<Call>();
    {
        std::lock_guard lock(mutex_);
        if (calledOff_) {
            return;
        }
        current_ = call;
    }
    // The ticket travels with the posted task; whichever way the task goes, the call ends.
    class Ticket {
    public:
        explicit Ticket(std::shared_ptr<Call> c) : call(std::move(c)) {}
        Ticket(const Ticket&) = delete;
        Ticket& operator=(const Ticket&) = delete;
        ~Ticket() { call->Dropped(); }
        const std::shared_ptr<Call> call;
    };
    auto ticket = std::make_shared<Ticket>(call);
    ui_.PostToUi([ticket, &fn] {
        // fn belongs to the waiting thread: it is touched only while that thread still waits.
        if (!ticket->call->Start()) {
            return;
        }
        struct Finish {
            Call& call;
            ~Finish() { call.Finish(); }
        } finish{*ticket->call};
        fn();
    });
    ticket.reset();
    call->WaitForEnd();
    std::lock_guard lock(mutex_);
    if (current_ == call) {
        current_.reset();
    }
}

bool UiHandOver::CallOff() {
    std::shared_ptr<Call> call;
    {
        std::lock_guard lock(mutex_);
        calledOff_ = true;
        call = current_;
    }
    return call == nullptr || call->CallOff();
}

bool UiHandOver::CalledOff() const {
    std::lock_guard lock(mutex_);
    return calledOff_;
}

}  // namespace vx
