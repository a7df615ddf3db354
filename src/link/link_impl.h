// The link's inside: the receive buffer shared with the receive thread, the receive thread
// (TReadThread) and the state behind Link. Private to src/link.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "app/scope.h"
#include "link/link.h"
#include "link/serial_port.h"

namespace kv::link {

// RxBuffer and RxCount. The receive thread appends, the main thread clears and reads.
// RxCount is published with release and polled with acquire, so a waiting transaction
// sees the bytes before their count; mutex_ orders the appends against the main thread's
// clearing and copying, so a chunk that lands while a transaction clears the buffer is
// neither torn nor written at a stale index. A transaction that completes early sleeps on
// changed_ until its bytes are in and their chunk has been handed over to the main thread.
class RxStore {
public:
    std::uint32_t Count() const { return count_.load(std::memory_order_acquire); }
    // Zeroes the whole buffer and the count (before each frame, and when a thread starts).
    void Clear();
    // Appends a chunk of at most kRxLimit bytes. When it would take the count past
    // kRxLimit, what the buffer held is dropped first and true is returned. handOver: the
    // chunk's hand-over to the main thread is then owed until HandedOver().
    bool Append(std::span<const std::uint8_t> chunk, bool handOver = true);
    void HandedOver();
    std::uint8_t Byte(std::size_t index) const;
    std::vector<std::uint8_t> Copy() const;

    // The running transaction's expected count (0 between transactions): a chunk that
    // brings the count to it ends there when the transaction completes early. early: this
    // one transaction completes early whatever the link's timing (SendOptions).
    void Expect(std::uint32_t n, bool early = false) {
        early_.store(early, std::memory_order_release);
        expected_.store(n, std::memory_order_release);
    }
    bool ExpectsEarly() const {
        return expected_.load(std::memory_order_acquire) > 0 &&
               early_.load(std::memory_order_acquire);
    }
    bool Completes(std::size_t more) const {
        const std::uint32_t n = expected_.load(std::memory_order_acquire);
        return n > 0 && Count() + more >= n;
    }
    // Sleeps until n bytes are in, a chunk's hand-over is owed, or until passes.
    void WaitFor(std::uint32_t n, std::chrono::steady_clock::time_point until);
    // n bytes are in and every chunk so far has been handed over.
    bool Settled(std::uint32_t n) const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::array<std::uint8_t, kRxBufferSize> buffer_{}; // guarded by mutex_
    std::atomic<std::uint32_t> count_{0};              // written under mutex_
    int handOversOwed_ = 0;                            // guarded by mutex_
    std::size_t dirty_ = 0; // guarded by mutex_: buffer_[dirty_..] is all zero
    std::atomic<std::uint32_t> expected_{0};
    std::atomic<bool> early_{false};
};

// The receive thread of one opening of the port: reads whatever the device sends into
// RxBuffer and hands each chunk to the main thread as an "R: " log line. It sleeps in the
// port's wait until bytes come or Stop() wakes it, so an idle open port costs nothing.
class ReadThread {
public:
    ReadThread(Link &link, SerialPort &port, RxStore &rx);
    ~ReadThread(); // Stop()

    // Sets the stop request and waits for the thread to end, processing the host's events
    // meanwhile (the thread may be waiting for a hand-over). Main thread only.
    void Stop();
    bool Running() const { return thread_.joinable(); }

private:
    void Execute();
    void Pass(std::vector<std::uint8_t> &local);
    // queued: the count a wait just saw in the input queue (0: not known).
    std::size_t ReadChunk(std::vector<std::uint8_t> &local, std::uint32_t queued);
    void HandOver(std::function<void()> fn);

    Link &link_;
    SerialPort &port_;
    RxStore &rx_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// Main thread only; the receive thread reaches the port and rx through its own references.
struct Link::Impl {
    // CommState's CmdBusy, LogEnabled and RxDisplayMode. The running transaction's options
    // set the last two for its length; a command refused meanwhile turns the log on again.
    BusyFlag cmdBusy;
    bool logEnabled = true;
    RxDisplay display = RxDisplay::Hex;

    std::function<PortSettings()> portSettings;
    std::unique_ptr<SerialPort> port = MakeSerialPort();
    RxStore rx;
    std::unique_ptr<ReadThread> thread;
    // Once a receive thread was started, every later opening and closing stops "it" again
    // and waits closeDelay, even when it has long ended.
    bool threadStarted = false;
    bool portOpen = false;
    std::string openedName; // the settings' name of the port open now; empty when closed
    // An opening or closing in progress: its waits process events, and a second one
    // started meanwhile would close the port under the first one's thread.
    bool switching = false;
};

} // namespace kv::link
