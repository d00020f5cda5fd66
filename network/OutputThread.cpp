#include "network/OutputThread.h"

namespace vx {

void OutputThread::Start(std::function<void()> body) {
    Stop(std::chrono::milliseconds(0));
    finish_ = std::make_shared<Finish>();
    thread_ = std::thread([finish = finish_, body = std::move(body)] {
        body();
        std::lock_guard lock(finish->mutex);
        finish->finished = true;
        finish->done.notify_all();
    });
}

bool OutputThread::Stop(std::chrono::milliseconds patience) {
    if (!thread_.joinable()) {
        return true;
    }
    bool finished = false;
    {
        std::unique_lock lock(finish_->mutex);
        finished = finish_->done.wait_for(lock, patience, [this] { return finish_->finished; });
    }
    if (finished) {
        thread_.join();
    } else {
        thread_.detach();
    }
    finish_.reset();
    return finished;
}

}  // namespace vx
