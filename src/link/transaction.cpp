// SendCommand: one command frame out, then the wait for its reply.
#include <algorithm>
#include <chrono>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "app/scope.h"
#include "link/commands.h"
#include "link/link.h"
#include "link/link_impl.h"
#include "link/messages.h"
#include "link/port_list.h"
#include "link/port_name.h"
#include "link/rx_render.h"

namespace kv::link {

Reply Link::SendCommand(std::span<const std::uint8_t> command, std::uint8_t expected,
                        SendOptions options) {
    const BusyGuard busy(impl_->cmdBusy);
    if (!busy.entered()) {
        host_.Beep();
        impl_->logEnabled = true; // the running transaction's lines show from here on
        Log(LineKind::CmdInProgress, kCmdInProgress);
        return Reply{ReplyStatus::Busy, impl_->rx.Copy(), expected};
    }
    impl_->logEnabled = options.log;
    impl_->display = options.display;
    const ScopeExit between([this] {
        impl_->logEnabled = true;
        impl_->display = RxDisplay::Hex;
        impl_->rx.Expect(0);
    });

    host_.SetStatusPanel(1, "");
    if (!impl_->portOpen)
        OpenComPort();
    std::vector<std::uint8_t> frame(command.begin(), command.end());
    if (frame.size() < kFrameLength)
        frame.resize(kFrameLength, 0);
    host_.SetStatusPanel(1, kSendingData);
    const std::string hex = FrameHexForm(frame);
    Log(LineKind::Sent, std::string(kSentPrefix) + std::to_string(frame.size()) + "B");
    ReplyStatus status = ReplyStatus::Completed;
    const bool early = options.completeEarly || timing_.completeEarly;
    impl_->rx.Expect(expected, options.completeEarly);
    int systemError = 0;
    std::string failureText;
    if (!WriteComPort(frame, options.reportWriteFailure, systemError, failureText)) {
        status = ReplyStatus::WriteFailed;
    } else if (!WaitForBytes(expected, early)) {
        status = ReplyStatus::TimedOut;
        Log(LineKind::ReceiveError, kReceiveError);
        LogOtherReaders();
        host_.Beep();
    }
    host_.SetStatusPanel(1, hex);
    return Reply{status, impl_->rx.Copy(), expected, systemError, std::move(failureText)};
}

void Link::LogOtherReaders() {
    if (!impl_->portOpen)
        return;
    const std::string device = PortPath(impl_->openedName);
    std::string readers;
    for (const PortReader &r : OtherPortReaders(device))
        readers +=
            (readers.empty() ? "" : ", ") + r.program + " (pid " + std::to_string(r.pid) + ")";
    if (!readers.empty())
        Log(LineKind::ReceiveError, OtherReadersLine(device, readers));
}

bool Link::WaitForBytes(std::uint8_t expected, bool completeEarly) {
    using Clock = std::chrono::steady_clock;
    // The monotonic clock: a change of the wall clock during the wait does not stretch it.
    const auto deadline = Clock::now() + timing_.limit;
    for (;;) {
        if (completeEarly) {
            // Sleeps until the receive thread has the reply in or owes the main thread a
            // chunk's hand-over; the host's events wait at most a poll period.
            impl_->rx.WaitFor(expected, std::min(deadline, Clock::now() + timing_.poll));
        } else {
            std::this_thread::sleep_for(timing_.poll);
        }
        const bool timedOut = Clock::now() > deadline;
        host_.ProcessEvents();
        if (timedOut)
            return false;
        if (!completeEarly) {
            if (expected <= impl_->rx.Count())
                return true;
        } else if (impl_->rx.Settled(expected)) {
            return true; // the reply is in, and its "R:" line in the log
        } else {
            // An owed hand-over is on its way to the host's queue: only moments.
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
}

void Link::WaitUntil(std::chrono::steady_clock::time_point until) {
    for (;;) {
        // No count is ever reached: only an owed hand-over or the end wakes the wait.
        impl_->rx.WaitFor(std::numeric_limits<std::uint32_t>::max(), until);
        host_.ProcessEvents();
        if (std::chrono::steady_clock::now() >= until)
            return;
        if (!impl_->rx.Settled(0)) // the hand-over is on its way to the host's queue
            std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

void Link::WaitForQuietLine(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto end = start + limit;
    std::uint32_t count = impl_->rx.Count();
    auto lastChange = start;
    while (impl_->portOpen) {
        const auto now = Clock::now();
        if (now - lastChange >= quiet || now >= end)
            break;
        WaitUntil(std::min({end, lastChange + quiet, now + std::chrono::milliseconds(20)}));
        if (const std::uint32_t c = impl_->rx.Count(); c != count) {
            count = c;
            lastChange = Clock::now();
        }
    }
    impl_->rx.Clear();
}

bool Link::WriteComPort(std::span<const std::uint8_t> frame, bool report, int &error,
                        std::string &text) {
    impl_->rx.Clear();
    if (!impl_->port->Write(frame)) {
        // Taken before the box, whose event processing may run other port calls.
        error = LastPortError();
        text = LastPortErrorText();
        if (report)
            host_.ShowError(text);
        return false;
    }
    return true;
}

} // namespace kv::link
