// The hand-over of work from another thread to the main thread, for hosts whose main thread
// has no event loop of its own (the command-line program, the tests): the sending thread
// queues a function and blocks until the main thread, processing its events, has run it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kv::link {

class HandOverQueue {
public:
    HandOverQueue(); // the constructing thread is the main thread

    // Any thread: runs fn on the main thread and returns once it has run there. On the main
    // thread itself it runs at once.
    void Run(const std::function<void()> &fn);

    // Main thread: runs the functions queued so far, oldest first. A function that throws
    // still releases its sender; the exception leaves here, the later functions stay queued.
    void RunPending();

    // Functions whose senders are waiting.
    std::size_t Pending() const;

private:
    struct Task {
        const std::function<void()> *fn;
        bool done = false;
    };

    std::thread::id mainThread_;
    mutable std::mutex mutex_; // guards queue_ and each queued task's done
    std::condition_variable doneChanged_;
    std::deque<Task *> queue_; // tasks live on their senders' stacks until done
};

} // namespace kv::link
