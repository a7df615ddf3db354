// TReadThread: the receive thread and the receive buffer it fills.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <string>

#include "app/scope.h"
#include "link/link_impl.h"
#include "link/messages.h"
#include "link/rx_render.h"

namespace kv::link {

void RxStore::Clear() {
    std::lock_guard lock(mutex_);
    // Only what was written since the last clearing: the rest is still zero.
    std::fill(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(dirty_), 0);
    dirty_ = 0;
    count_.store(0, std::memory_order_release);
}

bool RxStore::Append(std::span<const std::uint8_t> chunk, bool handOver) {
    const std::size_t n = std::min<std::size_t>(chunk.size(), kRxLimit);
    bool overflow = false;
    {
        std::lock_guard lock(mutex_);
        std::size_t at = count_.load(std::memory_order_relaxed);
        overflow = at + n > kRxLimit;
        if (overflow)
            at = 0;
        if (n > 0) // an empty chunk may carry no buffer at all
            std::memcpy(buffer_.data() + at, chunk.data(), n);
        dirty_ = std::max(dirty_, at + n);
        count_.store(static_cast<std::uint32_t>(at + n), std::memory_order_release);
        if (handOver)
            ++handOversOwed_;
    }
    changed_.notify_all();
    return overflow;
}

void RxStore::HandedOver() {
    {
        std::lock_guard lock(mutex_);
        --handOversOwed_;
    }
    changed_.notify_all();
}

void RxStore::WaitFor(std::uint32_t n, std::chrono::steady_clock::time_point until) {
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, until, [&] {
        return handOversOwed_ > 0 || n <= count_.load(std::memory_order_relaxed);
    });
}

bool RxStore::Settled(std::uint32_t n) const {
    std::lock_guard lock(mutex_);
    return handOversOwed_ == 0 && n <= count_.load(std::memory_order_relaxed);
}

std::uint8_t RxStore::Byte(std::size_t index) const {
    std::lock_guard lock(mutex_);
    return index < buffer_.size() ? buffer_[index] : 0;
}

std::vector<std::uint8_t> RxStore::Copy() const {
    std::lock_guard lock(mutex_);
    const std::uint32_t n = count_.load(std::memory_order_relaxed);
    return std::vector<std::uint8_t>(buffer_.begin(), buffer_.begin() + n);
}

ReadThread::ReadThread(Link &link, SerialPort &port, RxStore &rx)
    : link_(link), port_(port), rx_(rx) {
    thread_ = std::thread([this] { Execute(); });
}

ReadThread::~ReadThread() {
    Stop();
}

void ReadThread::Stop() {
    if (!thread_.joinable())
        return;
    stop_.store(true, std::memory_order_release);
    port_.Wake();
    while (!done_.load(std::memory_order_acquire)) {
        link_.host().ProcessEvents();
        std::this_thread::sleep_for(kStopPoll);
    }
    thread_.join();
}

void ReadThread::HandOver(std::function<void()> fn) {
    // What fails in the hand-over is this thread's failure: it is reported like one, and
    // the main thread's event processing never sees the exception.
    link_.host().RunOnMainThread([this, &fn] {
        try {
            fn();
        } catch (const std::exception &e) {
            link_.host().ShowError(std::string(kThreadErrorPrefix) + e.what());
        }
    });
}

void ReadThread::Execute() {
    rx_.Clear();
    std::vector<std::uint8_t> local(kRxBufferSize);
    while (!stop_.load(std::memory_order_acquire)) {
        try {
            Pass(local);
        } catch (const std::exception &e) {
            std::string text = std::string(kThreadErrorPrefix) + e.what();
            HandOver([this, text] { link_.host().ShowError(text); });
        }
    }
    done_.store(true, std::memory_order_release);
}

void ReadThread::Pass(std::vector<std::uint8_t> &local) {
    std::uint32_t queued = 0;
    switch (port_.WaitForInput(SerialPort::kNoLimit, &queued)) {
    case SerialPort::Wait::Input:
        break;
    case SerialPort::Wait::Failed:
        // A port that has gone away (hung up, adapter pulled) keeps reporting so at once: it
        // is looked at again every 10 ms instead of in a spin.
        std::this_thread::sleep_for(kFailedPortRetry);
        return;
    default: // woken: the loop looks at the stop request
        return;
    }
    // The windows' thread looks at the bytes 10 ms after it first sees them, as each of its
    // passes always paused before it read: a chunk never ends sooner after its first byte.
    if (!link_.timing().completeEarly && !rx_.ExpectsEarly()) {
        std::this_thread::sleep_for(kFirstByteDelay);
        queued = 0; // more has come meanwhile: the chunk asks the queue again
    }
    const std::size_t n = ReadChunk(local, queued);
    if (n == 0)
        return;
    const std::span<const std::uint8_t> chunk(local.data(), n);
    // A host that drops the "R:" lines is owed nothing: the chunk is in once appended.
    const bool showLine = link_.host().ShowsReceivedLines();
    const bool overflow = rx_.Append(chunk, showLine);
    if (!showLine)
        return;
    // The chunk's hand-over is owed from the append on: a waiting transaction returns only
    // once its "R:" line is in the log. Settled also when the hand-over failed.
    bool handedOver = false;
    const ScopeExit settle([this, &handedOver] {
        if (!handedOver)
            rx_.HandedOver();
    });
    if (overflow)
        HandOver([this] {
            link_.Log(LineKind::Received, std::string(kReceivedPrefix) + std::string(kBufferFull));
        });
    // Rendered on the main thread, during the hand-over, in the mode of the transaction that
    // runs then.
    std::vector<std::uint8_t> bytes(chunk.begin(), chunk.end());
    HandOver([this, &bytes, &handedOver] {
        const ScopeExit done([this, &handedOver] {
            handedOver = true;
            rx_.HandedOver();
        });
        link_.Log(LineKind::Received,
                  std::string(kReceivedPrefix) + RenderRx(bytes, link_.impl_->display));
    });
}

std::size_t ReadThread::ReadChunk(std::vector<std::uint8_t> &local, std::uint32_t queued) {
    // One chunk is what arrives until no further byte has come for the gap time, within the
    // read's total limit of 1 ms a byte; when the transaction completes early, the chunk
    // that brings its expected bytes ends there.
    using std::chrono::milliseconds;
    const Timing &timing = link_.timing();
    const auto end = std::chrono::steady_clock::now() + milliseconds(kRxLimit);
    std::size_t got = 0;
    for (;;) {
        // The count the last wait saw is still there (only this thread reads): the queue is
        // asked only when no wait told it.
        if (queued == 0 && !port_.QueueStatus(queued))
            break; // gone: what came so far is the chunk
        if (queued > 0) {
            const std::size_t want = std::min<std::size_t>(queued, kRxLimit - got);
            const long n = port_.Read(local.data() + got, want, &stop_);
            if (n < 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        queued = 0;
        if (got >= kRxLimit || stop_.load(std::memory_order_acquire) ||
            ((timing.completeEarly || rx_.ExpectsEarly()) && got > 0 && rx_.Completes(got)))
            break;
        const auto left = std::chrono::ceil<milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || port_.WaitForInput(std::min<milliseconds>(timing.gap, left),
                                                    &queued) != SerialPort::Wait::Input)
            break;
    }
    return got;
}

} // namespace kv::link
