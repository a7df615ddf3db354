// The link's inside: the receive buffer shared with the receive thread, the receive thread
// (TReadThread) and the state behind Link. Private to src/link.
#pragma once

#include <array>
#include <atomic>
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
// neither torn nor written at a stale index.
class RxStore {
public:
    std::uint32_t Count() const { return count_.load(std::memory_order_acquire); }
    // Zeroes the whole buffer and the count (before each frame, and when a thread starts).
    void Clear();
    // Appends a chunk of at most kRxLimit bytes. When it would take the count past
    // kRxLimit, what the buffer held is dropped first and true is returned.
    bool Append(std::span<const std::uint8_t> chunk);
    std::uint8_t Byte(std::size_t index) const;
    std::vector<std::uint8_t> Copy() const;

    // The byte count a transaction that ends as soon as its bytes are in waits for (0: none).
    // The main thread sets it around such a transaction; the receive thread then ends its
    // read when that many bytes are in, instead of after the gap.
    void Await(std::uint32_t count) { awaited_.store(count, std::memory_order_release); }
    std::uint32_t Awaited() const { return awaited_.load(std::memory_order_acquire); }

private:
    mutable std::mutex mutex_;
    std::array<std::uint8_t, kRxBufferSize> buffer_{}; // guarded by mutex_
    std::atomic<std::uint32_t> count_{0};              // written under mutex_
    std::atomic<std::uint32_t> awaited_{0};
};

// The receive thread of one opening of the port: reads whatever the device sends into
// RxBuffer and hands each chunk to the main thread as an "R: " log line.
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
    // and waits closeDelayMs, even when it has long ended.
    bool threadStarted = false;
    bool portOpen = false;
    // An opening or closing in progress: its waits process events, and a second one
    // started meanwhile would close the port under the first one's thread.
    bool switching = false;
};

} // namespace kv::link
