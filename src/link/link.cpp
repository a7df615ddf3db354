// The port's opening and closing, and the receive buffer's accessors.
#include "link/link.h"

#include <chrono>
#include <thread>

#include "app/scope.h"
#include "link/link_impl.h"
#include "link/messages.h"
#include "link/port_name.h"

namespace kv::link {

Link::Link(LinkHost &host, std::function<PortSettings()> portSettings, Timing timing)
    : host_(host), timing_(timing), impl_(std::make_unique<Impl>()) {
    impl_->portSettings = std::move(portSettings);
}

Link::~Link() {
    // The thread reads the port and the buffer: it ends before either goes.
    if (impl_->thread)
        impl_->thread->Stop();
    impl_->thread.reset();
    if (impl_->port->IsOpen()) {
        impl_->port->SetRts(false);
        impl_->port->SetDtr(false);
        impl_->port->Close();
    }
}

void Link::AddLog(std::string_view text) {
    Log(LineKind::Program, text);
}

void Link::Log(LineKind kind, std::string_view text) {
    if (impl_->logEnabled)
        host_.WriteLogLine(kind, text);
    else
        host_.LineKeptOut(kind, text);
}

bool Link::PortOpen() const {
    return impl_->portOpen;
}

std::string Link::OpenedPortName() const {
    return impl_->portOpen ? impl_->openedName : std::string();
}

bool Link::CommandRunning() const {
    return impl_->cmdBusy.IsSet();
}

std::uint32_t Link::RxCount() const {
    return impl_->rx.Count();
}

std::vector<std::uint8_t> Link::Received() const {
    return impl_->rx.Copy();
}

void Link::Delay(std::chrono::milliseconds wait) {
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        host_.ProcessEvents();
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            break;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(end - now, kEventsPeriod));
    }
}

void Link::StopReadThread() {
    if (!impl_->threadStarted)
        return;
    if (impl_->thread)
        impl_->thread->Stop();
    impl_->thread.reset();
    if (impl_->port->IsOpen())
        impl_->port->SetEventMask(false);
    Delay(timing_.closeDelay);
}

bool Link::ConfigurePort(const PortSettings &ps, std::string *failure) {
    SerialPort &port = *impl_->port;
    // Each failure's box ends with the device that was tried, which is not always the name
    // in the settings (COM1 opens /dev/ttyS0 on Linux).
    auto fail = [&](PortStep step) {
        const std::string text =
            PortStepError(step, LastPortErrorText()) + "\r" + PortTriedLine(PortShown(ps.name));
        if (failure)
            *failure = text;
        else
            host_.ShowError(text);
        return false;
    };
    if (!port.Open(ps.name))
        return fail(PortStep::CreateFile);
    if (!port.GetLineSettings())
        return fail(PortStep::GetCommState);
    if (!port.SetLineSettings(ps.baud))
        return fail(PortStep::SetCommState);
    port.SetDtr(true);
    port.SetRts(true);
    if (!port.GetTimeouts())
        return fail(PortStep::GetCommTimeOuts);
    if (!port.SetReadTimeouts(timing_.gap, std::chrono::milliseconds(1)))
        return fail(PortStep::SetCommTimeOuts);
    impl_->openedName = ps.name;
    return true;
}

void Link::DrainPort() {
    std::uint32_t queued = 0;
    if (!impl_->port->QueueStatus(queued) || queued == 0)
        return;
    std::array<std::uint8_t, 1000> discard;
    impl_->port->Read(discard.data(), discard.size());
}

bool Link::OpenComPort() {
    return OpenPort(impl_->portSettings ? impl_->portSettings() : PortSettings{}, nullptr);
}

bool Link::Reopen(const std::string &name, std::string *failure) {
    PortSettings ps = impl_->portSettings ? impl_->portSettings() : PortSettings{};
    ps.name = name;
    return OpenPort(ps, failure);
}

bool Link::OpenPort(const PortSettings &ps, std::string *failure) {
    if (impl_->switching) {
        host_.Beep();
        return false;
    }
    impl_->switching = true;
    const ScopeExit done([this] { impl_->switching = false; });

    StopReadThread();
    impl_->port->Close(); // a port left open by a failed set-up, too; failure ignored
    if (!ConfigurePort(ps, failure))
        return false;
    if (!impl_->port->SetEventMask(true)) {
        const std::string text = PortStepError(PortStep::SetCommMask, LastPortErrorText());
        if (failure)
            *failure = text;
        else
            host_.ShowError(text);
    }
    std::this_thread::sleep_for(timing_.openSettle);
    DrainPort();
    impl_->thread = std::make_unique<ReadThread>(*this, *impl_->port, impl_->rx);
    impl_->threadStarted = true;
    impl_->portOpen = true;
    Log(LineKind::PortOpened, kPortOpened);
    return true;
}

void Link::ClosePort() {
    if (impl_->switching) {
        host_.Beep();
        return;
    }
    impl_->switching = true;
    const ScopeExit done([this] { impl_->switching = false; });

    StopReadThread();
    if (impl_->port->IsOpen() && impl_->port->Close())
        impl_->portOpen = false;
    Log(LineKind::PortClosed, kPortClosed);
}

} // namespace kv::link
