// SendCommand: one command frame out, then the wait for its reply.
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/scope.h"
#include "link/commands.h"
#include "link/link.h"
#include "link/link_impl.h"
#include "link/messages.h"
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
    const bool early = options.completeEarly || timing_.completeEarly;
    if (options.completeEarly)
        impl_->rx.Await(expected);
    const ScopeExit between([this] {
        impl_->logEnabled = true;
        impl_->display = RxDisplay::Hex;
        impl_->rx.Await(0);
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
    if (!WriteComPort(frame)) {
        status = ReplyStatus::WriteFailed;
    } else if (!WaitForBytes(expected, early)) {
        status = ReplyStatus::TimedOut;
        Log(LineKind::ReceiveError, kReceiveError);
        host_.Beep();
    }
    host_.SetStatusPanel(1, hex);
    return Reply{status, impl_->rx.Copy(), expected};
}

bool Link::WaitForBytes(std::uint8_t expected, bool completeEarly) {
    using Clock = std::chrono::steady_clock;
    using std::chrono::milliseconds;
    // The monotonic clock: a change of the wall clock during the wait does not stretch it.
    const auto deadline = Clock::now() + milliseconds(timing_.limitMs);
    const auto reached = [&] { return expected <= impl_->rx.Count(); };
    for (;;) {
        if (completeEarly) {
            // Sleeps in short slices and stops as soon as the reply is in.
            const auto pollEnd = Clock::now() + milliseconds(timing_.pollMs);
            while (!reached() && Clock::now() < pollEnd)
                std::this_thread::sleep_for(milliseconds(std::min(2, timing_.pollMs)));
        } else {
            std::this_thread::sleep_for(milliseconds(timing_.pollMs));
        }
        const bool timedOut = Clock::now() > deadline;
        host_.ProcessEvents();
        if (reached() || timedOut)
            return !timedOut;
    }
}

bool Link::WriteComPort(std::span<const std::uint8_t> frame) {
    impl_->rx.Clear();
    if (!impl_->port->Write(frame)) {
        host_.ShowError(LastPortErrorText());
        return false;
    }
    return true;
}

} // namespace kv::link
