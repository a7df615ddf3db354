#include "link/hand_over.h"

#include "app/scope.h"

namespace kv::link {

HandOverQueue::HandOverQueue() : mainThread_(std::this_thread::get_id()) {}

void HandOverQueue::Run(const std::function<void()> &fn) {
    if (std::this_thread::get_id() == mainThread_) {
        fn();
        return;
    }
    Task task{&fn};
    std::unique_lock lock(mutex_);
    queue_.push_back(&task);
    doneChanged_.wait(lock, [&] { return task.done; });
}

void HandOverQueue::RunPending() {
    for (;;) {
        Task *task = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty())
                return;
            task = queue_.front();
            queue_.pop_front();
        }
        const ScopeExit release([this, task] {
            {
                std::lock_guard lock(mutex_);
                task->done = true;
            }
            doneChanged_.notify_all();
        });
        (*task->fn)();
    }
}

std::size_t HandOverQueue::Pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

} // namespace kv::link
