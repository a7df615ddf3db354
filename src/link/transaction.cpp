// SendCommand: one command frame out, then the wait for its reply.
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "link/commands.h"
#include "link/link.h"
#include "link/link_impl.h"
#include "link/messages.h"
#include "link/rx_render.h"

namespace kv::link {

void Link::SendCommand(std::span<const std::uint8_t> command, std::uint8_t expected) {
    if (CmdBusy) {
        host_.Beep();
        LogEnabled = true;
        AddLog(kCmdInProgress);
        return;
    }
    CmdBusy = true;
    struct Guard {
        bool &busy;
        ~Guard() { busy = false; }
    } guard{CmdBusy};

    host_.SetStatusPanel(1, "");
    if (!impl_->portOpen)
        OpenComPort();
    std::vector<std::uint8_t> frame(command.begin(), command.end());
    if (frame.size() < kFrameLength)
        frame.resize(kFrameLength, 0);
    host_.SetStatusPanel(1, kSendingData);
    const std::string hex = FrameHexForm(frame);
    AddLog(std::string(kSentPrefix) + std::to_string(frame.size()) + "B");
    LastTimedOut = false;
    if (WriteComPort(frame) && !WaitForBytes(expected)) {
        LastTimedOut = true;
        AddLog(kReceiveError);
        host_.Beep();
    }
    host_.SetStatusPanel(1, hex);
}

bool Link::WaitForBytes(std::uint8_t expected) {
    using Clock = std::chrono::steady_clock;
    using std::chrono::milliseconds;
    // The monotonic clock: a change of the wall clock during the wait does not stretch it.
    const auto deadline = Clock::now() + milliseconds(timing_.limitMs);
    const auto reached = [&] { return expected <= impl_->rx.Count(); };
    for (;;) {
        if (timing_.completeEarly) {
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
