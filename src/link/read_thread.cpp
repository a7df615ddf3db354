// TReadThread: the receive thread and the receive buffer it fills.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <string>

#include "link/link_impl.h"
#include "link/messages.h"
#include "link/rx_render.h"

namespace kv::link {

void RxStore::Clear() {
    std::lock_guard lock(mutex_);
    buffer_.fill(0);
    count_.store(0, std::memory_order_release);
}

bool RxStore::Append(std::span<const std::uint8_t> chunk) {
    const std::size_t n = std::min<std::size_t>(chunk.size(), kRxLimit);
    std::lock_guard lock(mutex_);
    std::size_t at = count_.load(std::memory_order_relaxed);
    const bool overflow = at + n > kRxLimit;
    if (overflow)
        at = 0;
    if (n > 0) // an empty chunk may carry no buffer at all
        std::memcpy(buffer_.data() + at, chunk.data(), n);
    count_.store(static_cast<std::uint32_t>(at + n), std::memory_order_release);
    return overflow;
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
    while (!done_.load(std::memory_order_acquire)) {
        link_.host().ProcessEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
    const bool status = port_.QueueStatus(queued);
    // The sleep comes on every pass, also when the status query fails: a port that has
    // gone away (hung up, adapter pulled) is then polled every 10 ms instead of in a spin.
    // While a transaction awaits a count of bytes, the thread looks every millisecond and
    // its read ends when the count is in.
    const std::uint32_t awaited = rx_.Awaited();
    const std::uint32_t have = rx_.Count();
    std::this_thread::sleep_for(
        std::chrono::milliseconds(awaited ? 1 : std::max(1, link_.timing().rxIdleMs)));
    if (!status || queued == 0)
        return;
    const std::size_t max = awaited > have ? awaited - have : kRxLimit;
    const long n = port_.Read(local.data(), max, &stop_);
    if (n <= 0)
        return;
    const std::span<const std::uint8_t> chunk(local.data(), static_cast<std::size_t>(n));
    if (rx_.Append(chunk))
        HandOver([this] {
            link_.Log(LineKind::Received, std::string(kReceivedPrefix) + std::string(kBufferFull));
        });
    // Rendered on the main thread, during the hand-over, in the mode of the transaction that
    // runs then.
    std::vector<std::uint8_t> bytes(chunk.begin(), chunk.end());
    HandOver([this, &bytes] {
        link_.Log(LineKind::Received,
                  std::string(kReceivedPrefix) + RenderRx(bytes, link_.impl_->display));
    });
}

} // namespace kv::link
