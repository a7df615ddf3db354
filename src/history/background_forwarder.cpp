#include "history/background_forwarder.h"

#include "history/forwarder.h"

namespace kv::history {

BackgroundForwarder::BackgroundForwarder(std::string historyPath, std::string conninfo,
                                         std::function<void()> onChange,
                                         std::chrono::milliseconds retry)
    : path_(std::move(historyPath)), conninfo_(std::move(conninfo)), onChange_(std::move(onChange)),
      retry_(retry), thread_([this] { Loop(); }) {}

BackgroundForwarder::~BackgroundForwarder() {
    {
        std::lock_guard<std::mutex> g(lock_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void BackgroundForwarder::Kick() {
    {
        std::lock_guard<std::mutex> g(lock_);
        kicked_ = true;
    }
    wake_.notify_all();
}

BackgroundForwarder::State BackgroundForwarder::Snapshot() const {
    std::lock_guard<std::mutex> g(lock_);
    return state_;
}

std::string BackgroundForwarder::WaitingText(const State &s) {
    if (s.passes == 0)
        return "Forwarding to the shared history...";
    std::string text = s.waiting == 0
                           ? std::string("All records sent to the shared history.")
                           : std::to_string(s.waiting) +
                                 (s.waiting == 1 ? " record waits" : " records wait") +
                                 " to be sent to the shared history (oldest " + s.oldest + ").";
    if (!s.lastError.empty())
        text += " Last error: " + s.lastError;
    return text;
}

void BackgroundForwarder::Loop() {
    // This thread's own connections to the file and the server.
    Store local(path_);
    SharedStore shared(conninfo_);
    std::unique_lock<std::mutex> l(lock_);
    for (;;) {
        // Woken by a kick; while records wait, also after `retry` (the server may be back).
        wake_.wait_for(l, retry_, [this] { return kicked_ || stop_; });
        if (stop_)
            return;
        if (!kicked_ && state_.waiting == 0)
            continue;
        kicked_ = false;
        l.unlock();
        const ForwardResult r = Forward(local, shared);
        const Store::Waiting w = local.WaitingToSend();
        l.lock();
        state_.waiting = w.status ? w.count : r.waiting;
        state_.oldest = w.status ? w.oldest : "";
        state_.lastError = r.status ? (w.status ? "" : w.status.message) : r.status.message;
        ++state_.passes;
        if (onChange_) {
            l.unlock();
            onChange_();
            l.lock();
        }
    }
}

} // namespace kv::history
